#include "platform/sim/process_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <random>

#include "platform/names.h"

extern char** environ;

namespace ze::sim {

std::string NewStartToken() {
    std::random_device random;
    return std::to_string(::getpid()) + "-" + std::to_string(random()) + std::to_string(random());
}

std::optional<std::filesystem::path> ExecutableOf(
    std::u16string_view imagePath, std::u16string_view modulePath,
    const std::function<std::filesystem::path(std::u16string_view)>& hostPath) {
    std::vector<std::u16string> candidates;
    if (!imagePath.empty() && imagePath.front() == u'"') {
        std::size_t end = imagePath.find(u'"', 1);
        candidates.emplace_back(imagePath.substr(
            1, end == std::u16string_view::npos ? std::u16string_view::npos : end - 1));
    } else {
        for (std::size_t space = imagePath.find(u' '); space != std::u16string_view::npos;
             space = imagePath.find(u' ', space + 1)) {
            candidates.emplace_back(imagePath.substr(0, space));
        }
        candidates.emplace_back(imagePath);
    }
    for (const auto& candidate : candidates) {
        std::filesystem::path host = hostPath(candidate);
        bool isModule = EqualsIgnoreCase(candidate, modulePath);
        std::error_code ec;
        if (std::filesystem::is_regular_file(host, ec) && ::access(host.c_str(), X_OK) == 0)
            return host;
        if (isModule)
            return std::filesystem::path("/proc/self/exe");
        if (std::filesystem::exists(host, ec))
            return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string> ServiceEnvironment(const std::filesystem::path& folder,
                                            const std::string& token) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (text.rfind("ZEREGION_MACHINE=", 0) != 0 &&
            text.rfind(std::string(kServiceStartTokenVariable) + "=", 0) != 0) {
            environment.push_back(text);
        }
    }
    environment.push_back("ZEREGION_MACHINE=" + folder.string());
    environment.push_back(std::string(kServiceStartTokenVariable) + "=" + token);
    return environment;
}

long LaunchDetached(const std::string& program, const std::vector<std::string>& environment,
                    const std::string& output) {
    // Everything the children need is prepared before fork: after it, only
    // async-signal-safe calls are made.
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    std::vector<char*> envp;
    for (const auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return 0;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return 0;
    }
    if (child == 0) {
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild != 0) {
            long launched = grandchild > 0 ? grandchild : 0;
            ssize_t ignored = ::write(pipeFds[1], &launched, sizeof launched);
            (void)ignored;
            ::_exit(0);
        }
        int input = ::open("/dev/null", O_RDONLY);
        int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (input >= 0)
            ::dup2(input, 0);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
        }
        if (::chdir("/") != 0)
            ::_exit(127);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    long launched = 0;
    if (::read(pipeFds[0], &launched, sizeof launched) != static_cast<ssize_t>(sizeof launched))
        launched = 0;
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return launched;
}

bool ProcessAlive(long pid) {
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

}  // namespace ze::sim
