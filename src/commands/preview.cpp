// "/preview": the reset of "/debug" run over the dry-run layer, then what it would
// have changed, as text or as JSON.
#include <algorithm>
#include <optional>

#include "commands/preview.h"
#include "common/console.h"
#include "common/event_text.h"
#include "common/events.h"
#include "common/paths.h"
#include "common/reg_format.h"
#include "common/text.h"
#include "platform/names.h"

namespace ze {

namespace {

struct StartTypeChange {
    std::optional<RegData> before;
    RegData after;
};

// Everything the run would change, with the service's start type apart from the
// other registry values.
struct Changes {
    std::vector<KeyChange> registry;
    std::optional<StartTypeChange> startType;
    std::vector<DeviceChange> devices;
    std::vector<ProfileWrite> profiles;
    std::vector<ServiceCall> services;
    // Reported on every run, like the adapter restart: not a change of the machine.
    std::vector<ReportedEvent> events;

    bool MachineWouldChange() const {
        return !registry.empty() || startType || !profiles.empty() || !services.empty();
    }
};

Changes CollectChanges(const DryRunPlatform& layer) {
    Changes changes{layer.RegistryChanges(), std::nullopt,         layer.DeviceChanges(),
                    layer.ProfileWrites(),   layer.ServiceCalls(), layer.Events()};
    std::u16string serviceKey = std::u16string(kServicesKeyPath) + u"\\" + g_szServiceName;
    for (auto key = changes.registry.begin(); key != changes.registry.end(); ++key) {
        if (key->kind != KeyChange::Kind::Changed || !EqualsIgnoreCase(key->path, serviceKey))
            continue;
        auto start = std::find_if(key->values.begin(), key->values.end(), [](const ValueChange& v) {
            return EqualsIgnoreCase(v.name, u"start");
        });
        if (start == key->values.end() || !start->after)
            continue;
        changes.startType = StartTypeChange{start->before, *start->after};
        key->values.erase(start);
        if (key->values.empty())
            changes.registry.erase(key);
        break;
    }
    return changes;
}

// Why the real run would fail or do nothing, from the outcomes it reports and the
// changes the machine refused it.
std::vector<std::u16string> RunFailures(const DryRunPlatform& layer) {
    std::vector<std::u16string> failures;
    for (const ReportedEvent& event : layer.Events()) {
        const std::u16string insert = event.inserts.empty() ? u"" : event.inserts.front();
        switch (event.eventId & 0xFFFF) {
            case ZE_EVENT_NO_NET_ID:
                failures.push_back(u"no adapter is recorded ([DriverKey] NetID of " + insert +
                                   u" is empty)");
                break;
            case ZE_EVENT_ADAPTER_NOT_FOUND:
                failures.push_back(u"no present network adapter has the Net ID " + insert);
                break;
            case ZE_EVENT_ADAPTER_STAYS_DISABLED:
                failures.push_back(u"the adapter " + insert + u" would stay disabled");
                break;
            case ZE_EVENT_NO_COUNTRY:
                failures.push_back(u"the country cannot be determined from " + insert);
                break;
            case ZE_EVENT_FILE_UNREADABLE:
                // A model without a platform settings file is no failure.
                if (EqualsIgnoreCase(insert, g_szZeCoInstDatPath))
                    failures.push_back(u"the country data file " + insert +
                                       u" is missing or unreadable");
                break;
            default:
                break;
        }
    }
    for (const RefusedChange& refused : layer.Refusals()) {
        failures.push_back(refused.call + u" " + refused.target +
                           Format(u" would fail with error %d", static_cast<int>(refused.error)) +
                           (refused.error == ERROR_ACCESS_DENIED
                                ? u" (access denied: administrative rights are needed)"
                                : u""));
    }
    return failures;
}

std::u16string DataText(const std::optional<RegData>& data) {
    return data ? FormatRegData(data->type, data->bytes) : std::u16string();
}

std::u16string StateName(DWORD stateChange) {
    return stateChange == DICS_DISABLE  ? u"disable"
           : stateChange == DICS_ENABLE ? u"enable"
                                        : Format(u"state change %u", stateChange);
}

// ---- text ----

// A value's name as it stands, quoted only when it has to be: empty (the default
// value), or holding blanks or characters that must be escaped.
std::u16string ValueName(const std::u16string& name) {
    if (name.empty())
        return u"(Default)";
    std::u16string quoted = QuoteText(name);
    bool plain = quoted.size() == name.size() + 2 && name.find(u' ') == std::u16string::npos;
    return plain ? name : quoted;
}

std::u16string ValueLine(const ValueChange& value, std::size_t nameWidth) {
    std::u16string name = ValueName(value.name);
    name.resize(std::max(name.size(), nameWidth), u' ');
    const RegData& shown = value.after ? *value.after : *value.before;
    std::u16string type = RegTypeName(shown.type);
    type.resize(std::max<std::size_t>(type.size(), 13), u' ');
    std::u16string line = u"  " + name + u"  " + type + u"  ";
    if (!value.before) {
        line += u"(new) " + DataText(value.after);
    } else if (!value.after) {
        line += DataText(value.before) + u" (deleted)";
    } else {
        std::u16string before = DataText(value.before);
        std::u16string after = DataText(value.after);
        if (value.before->type != value.after->type)
            before = RegTypeName(value.before->type) + u" " + before;
        line += before + u" -> " + after;
        if (before == after)
            line +=
                Format(u" (%u bytes -> %u bytes)", static_cast<UINT>(value.before->bytes.size()),
                       static_cast<UINT>(value.after->bytes.size()));
    }
    return line + u"\r\n";
}

std::u16string KeyText(const KeyChange& key) {
    std::u16string text = u"HKLM\\" + key.path;
    if (key.kind == KeyChange::Kind::Created)
        text += u"  (new key)";
    if (key.kind == KeyChange::Kind::Deleted)
        text += u"  (key deleted)";
    text += u"\r\n";
    std::size_t width = 0;
    for (const ValueChange& value : key.values)
        width = std::max(width, ValueName(value.name).size());
    for (const ValueChange& value : key.values)
        text += ValueLine(value, width);
    return text;
}

std::u16string DevicesText(const std::vector<DeviceChange>& devices) {
    std::u16string text;
    std::vector<std::u16string> seen;
    for (const DeviceChange& device : devices) {
        if (std::find(seen.begin(), seen.end(), device.instanceId) != seen.end())
            continue;
        seen.push_back(device.instanceId);
        std::u16string steps;
        for (const DeviceChange& step : devices) {
            if (step.instanceId == device.instanceId)
                steps += (steps.empty() ? u"" : u", then ") + StateName(step.stateChange);
        }
        text += u"Adapter restart: " + device.instanceId + u" (" + steps + u")\r\n";
    }
    return text;
}

std::u16string StartTypeText(const StartTypeChange& change) {
    return u"Service " + QuoteText(g_szServiceName) + u" start type: " +
           (change.before ? DataText(change.before) : std::u16string(u"(none)")) + u" -> " +
           DataText(change.after) + u"\r\n";
}

std::u16string PreviewText(const Changes& changes, const std::vector<std::u16string>& failures) {
    std::u16string text = u"What a reset (/debug) would change; nothing has been changed.\r\n\r\n";
    for (const KeyChange& key : changes.registry)
        text += KeyText(key);
    for (const ProfileWrite& write : changes.profiles) {
        text += u"File " + QuoteText(write.file) + u": [" + write.section + u"] " +
                (write.key ? *write.key : std::u16string(u"(section deleted)")) +
                (write.value ? u" = " + QuoteText(*write.value) : std::u16string(u" (deleted)")) +
                u"\r\n";
    }
    for (const ServiceCall& call : changes.services)
        text += u"Service " + QuoteText(call.service) + u": " + call.call + u"\r\n";
    text += DevicesText(changes.devices);
    if (changes.startType)
        text += StartTypeText(*changes.startType);
    for (const ReportedEvent& event : changes.events)
        text += u"Event " + QuoteText(event.source) + u": " +
                EventText(event.type, event.eventId, event.inserts) + u"\r\n";
    if (!failures.empty()) {
        text += u"The reset would fail:\r\n";
        for (const std::u16string& failure : failures)
            text += u"  " + failure + u"\r\n";
    } else if (!changes.MachineWouldChange()) {
        text += u"Nothing to change: the adapter's settings are in line.\r\n";
    }
    return text;
}

// ---- JSON ----

std::u16string JsonString(std::u16string_view text) {
    std::u16string json = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (c == u'"' || c == u'\\') {
            json += u'\\';
            json += c;
        } else if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            json += c;
            json += text[++i];
        } else if (c < 0x20 || c == 0x7F || high || low) {
            json += Format(u"\\u%04X", c);
        } else {
            json += c;
        }
    }
    return json + u"\"";
}

std::u16string JsonData(const std::optional<RegData>& data) {
    if (!data)
        return u"null";
    std::u16string hex;
    for (BYTE b : data->bytes)
        hex += Format(u"%02X", b);
    return u"{\"type\": " + JsonString(RegTypeName(data->type)) + u", \"text\": " +
           JsonString(FormatRegData(data->type, data->bytes)) + u", \"bytes\": \"" + hex + u"\"}";
}

template <typename Item, typename Render>
std::u16string JsonList(const std::vector<Item>& items, Render render) {
    std::u16string list = u"[";
    for (const Item& item : items)
        list += (list.size() > 1 ? u", " : u"") + render(item);
    return list + u"]";
}

std::u16string PreviewJson(const Changes& changes, const std::vector<std::u16string>& failures) {
    auto keyJson = [](const KeyChange& key) {
        const char16_t* kind = key.kind == KeyChange::Kind::Created   ? u"created"
                               : key.kind == KeyChange::Kind::Deleted ? u"deleted"
                                                                      : u"changed";
        return u"{\"key\": " + JsonString(u"HKLM\\" + key.path) + u", \"change\": \"" + kind +
               u"\", \"values\": " +
               JsonList(key.values,
                        [](const ValueChange& value) {
                            return u"{\"name\": " + JsonString(value.name) + u", \"before\": " +
                                   JsonData(value.before) + u", \"after\": " +
                                   JsonData(value.after) + u"}";
                        }) +
               u"}";
    };
    std::u16string json = u"{\"changes\": ";
    json += changes.MachineWouldChange() ? u"true" : u"false";
    json += failures.empty() ? u", \"failed\": false" : u", \"failed\": true";
    json += u", \"errors\": " + JsonList(failures, JsonString);
    json += u",\r\n \"registry\": " + JsonList(changes.registry, keyJson);
    json += u",\r\n \"startType\": ";
    json += changes.startType ? u"{\"service\": " + JsonString(g_szServiceName) +
                                    u", \"before\": " + JsonData(changes.startType->before) +
                                    u", \"after\": " + JsonData(changes.startType->after) + u"}"
                              : std::u16string(u"null");
    json += u",\r\n \"devices\": " + JsonList(changes.devices, [](const DeviceChange& device) {
                return u"{\"instanceId\": " + JsonString(device.instanceId) + u", \"change\": \"" +
                       StateName(device.stateChange) + u"\"}";
            });
    json += u",\r\n \"files\": " + JsonList(changes.profiles, [](const ProfileWrite& write) {
                return u"{\"file\": " + JsonString(write.file) + u", \"section\": " +
                       JsonString(write.section) + u", \"key\": " +
                       (write.key ? JsonString(*write.key) : std::u16string(u"null")) +
                       u", \"value\": " +
                       (write.value ? JsonString(*write.value) : std::u16string(u"null")) + u"}";
            });
    json += u",\r\n \"services\": " + JsonList(changes.services, [](const ServiceCall& call) {
                return u"{\"service\": " + JsonString(call.service) + u", \"call\": " +
                       JsonString(call.call) + u"}";
            });
    json += u",\r\n \"events\": " + JsonList(changes.events, [](const ReportedEvent& event) {
                return u"{\"source\": " + JsonString(event.source) + u", \"type\": " +
                       JsonString(EventTypeName(event.type)) +
                       Format(u", \"id\": %u, \"inserts\": ", event.eventId & 0xFFFF) +
                       JsonList(event.inserts, JsonString) + u"}";
            });
    return json + u"}\r\n";
}

// The log's UTF-16LE entries, as the run writes them, shown on standard error.
void ShowLogBytes(const std::u16string& path, const BYTE* bytes, DWORD size) {
    if (!EqualsIgnoreCase(path, g_szZeRegionSvcLogPath))
        return;
    std::u16string text;
    for (DWORD i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    PrintError(text);
}

bool ParseFormat(CommandArguments arguments, bool* json) {
    *json = arguments.size() == 1 && IsCommand(arguments[0], u"json");
    return arguments.empty() || *json;
}

}  // namespace

PreviewLayer::PreviewLayer(CommandArguments arguments)
    : valid_(ParseFormat(arguments, &json_)), layer_(OS()) {
    layer_.SetFileSink(ShowLogBytes);
    scope_.emplace(layer_);
}

int PreviewLayer::Report(int runResult, std::u16string_view runFailure) {
    scope_.reset();
    if (!valid_)
        return runResult;  // refused, with the usage, by RunPreview
    Changes changes = CollectChanges(layer_);
    std::vector<std::u16string> failures = RunFailures(layer_);
    if (runResult != 0 && (failures.empty() || !runFailure.empty()))
        failures.insert(failures.begin(), runFailure.empty()
                                              ? Format(u"the run ended with code %d", runResult)
                                              : std::u16string(runFailure));
    PrintOut(json_ ? PreviewJson(changes, failures) : PreviewText(changes, failures));
    if (!failures.empty()) {
        std::u16string joined;
        for (const std::u16string& failure : failures)
            joined += (joined.empty() ? u"" : u"; ") + failure;
        PrintError(u"ZeRegionSvc: /preview: the reset would fail or cannot be previewed: " +
                   joined + u"\r\n");
        return ZE_EXIT_PREVIEW_FAILED;
    }
    return changes.MachineWouldChange() ? ZE_EXIT_CHANGES_PENDING : 0;
}

int RunPreview(const RunInputs& inputs, CommandArguments arguments) {
    bool json = false;
    if (!ParseFormat(arguments, &json))
        return RefuseUsage(u"/preview takes no argument but json");
    return RunDebugReset(inputs);
}

}  // namespace ze
