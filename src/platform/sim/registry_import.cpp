// Applying what a .reg file says to a registry.
#include "platform/names.h"
#include "platform/sim/reg_file.h"

namespace ze::sim {

bool RegistryImport::Keep(LONG error) {
    if (error != ERROR_SUCCESS && error_ == ERROR_SUCCESS)
        error_ = error;
    return error == ERROR_SUCCESS;
}

bool RegistryImport::OpenKey(std::u16string_view path) {
    std::vector<std::u16string> parts = SplitKeyPath(path);
    std::size_t same = 0;
    while (same < parts.size() && same < path_.size() && parts[same] == path_[same].first)
        ++same;
    path_.resize(same);
    KeyId key = same == 0 ? kRootKey : path_.back().second;
    for (std::size_t i = same; i < parts.size(); ++i) {
        if (!Keep(registry_.CreatePath(key, parts[i], &key))) {
            path_.clear();
            return false;
        }
        path_.emplace_back(std::move(parts[i]), key);
    }
    key_ = key;
    return true;
}

bool RegistryImport::DeleteKey(std::u16string_view path) {
    path_.clear();
    key_ = 0;
    KeyId key = 0;
    LONG error = registry_.OpenPath(kRootKey, path, &key);
    if (error == ERROR_FILE_NOT_FOUND)
        return true;
    return Keep(error) && Keep(registry_.DeleteKey(key, true));
}

bool RegistryImport::SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data) {
    return Keep(registry_.SetValue(key_, name, type, data));
}

bool RegistryImport::DeleteValue(std::u16string_view name) {
    LONG error = registry_.DeleteValue(key_, name);
    return error == ERROR_FILE_NOT_FOUND || Keep(error);
}

}  // namespace ze::sim
