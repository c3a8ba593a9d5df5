#include "main/program.h"

#include <cstdio>
#include <string>

#include "commands/commands.h"
#include "commands/preview.h"
#include "common/console.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/run_inputs.h"
#include "common/text.h"
#include "platform/platform.h"
#include "service/service.h"

namespace ze {

namespace {

SERVICE_TABLE_ENTRYW g_ServiceTable[2];

// Start-up: the paths, the log switches and the service name. Returns false when the
// executable's path or base name does not fit the program's buffers.
bool StartUp() {
    std::u16string baseName;
    if (!DerivePaths(&baseName) || !SetServiceName(baseName)) {
        return false;
    }
    g_bWriteLogFile = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"WriteLogFile", 1, g_szZeRegionSvcIniPath));
    g_bDebugMode = static_cast<int>(
        OS().GetPrivateProfileIntW(u"Settings", u"DebugMode", 0, g_szZeRegionSvcIniPath));
    LogPrint(u"[ZeRegionSvc] g_szZeRegionSvcIniPath = %s\r\n", g_szZeRegionSvcIniPath);
    LogPrint(u"[ZeRegionSvc] g_szZeCoInstDatPath = %s\r\n", g_szZeCoInstDatPath);
    LogPrint(u"[ZeRegionSvc] g_szZeRegionSvcLogPath = %s\r\n", g_szZeRegionSvcLogPath);
    LogPrint(u"[ZeRegionSvc] --> _tmain()\r\n");
    g_ServiceTable[0] = {g_szServiceName, ServiceMain};
    g_ServiceTable[1] = {nullptr, nullptr};
    return true;
}

int RunServiceHost() {
    if (!OS().StartServiceCtrlDispatcherW(g_ServiceTable)) {
        DWORD error = OS().GetLastError();
        LogPrint(u"[ZeRegionSvc] StartServiceCtrlDispatcher() return FALSE, error = %d\r\n", error);
        return ReportFailure(u"running as the service", ZE_EXIT_DISPATCHER_FAILED,
                             Format(u"not started by the service manager (error %d); "
                                    u"ZeRegionSvc /? lists the commands",
                                    error));
    }
    return 0;
}

// The commands, matched ignoring case; the first match decides. No hardware ID
// begins with '/' or '-'. Those that change the machine need administrator rights.
struct NamedCommand {
    std::u16string_view name;
    Command run;
};
constexpr NamedCommand kCommands[] = {
    {u"/install", AsAdministrator<RunInstall>},
    {u"/uninstall", AsAdministrator<RunUninstall>},
    {u"/start", AsAdministrator<RunStart>},
    {u"/stop", AsAdministrator<RunStop>},
    {u"/debug", AsAdministrator<RunDebug>},
    {u"/preview", RunPreview},
    {u"/check", RunCheck},
    {u"/?", RunHelp},
    {u"/help", RunHelp},
    {u"-h", RunHelp},
    {u"--help", RunHelp},
    {u"/version", RunVersion},
};

int RunCommand(int argc, char16_t** argv) {
    const char16_t* argument = argv[1];
    LogPrint(u"[ZeRegionSvc] argv[1] = %s\r\n", argument);
    RunInputs inputs = ReadRunInputs();
    for (const NamedCommand& command : kCommands) {
        if (IsCommand(argument, command.name)) {
            return command.run(inputs,
                               CommandArguments(argv + 2, static_cast<std::size_t>(argc - 2)));
        }
    }
    return RunHardwareId(inputs, CommandArguments(argv + 1, static_cast<std::size_t>(argc - 1)));
}

constexpr char16_t kStartUpFailed[] = u"start-up failed (executable path or name too long)";

// `fatalOnStdout`: the start-up failure is printed on standard output; a preview
// reports it itself.
int RunMain(int argc, char16_t** argv, bool fatalOnStdout = true) {
    if (!StartUp()) {
        if (fatalOnStdout)
            std::fputs("Fatal Error: start-up failed (executable path or name too long)\r\n",
                       stdout);
        return ZE_EXIT_INIT_FAILED;
    }
    int result = argc < 2 ? RunServiceHost() : RunCommand(argc, argv);
    LogPrint(u"[ZeRegionSvc] <-- _tmain()\r\n");
    return result;
}

}  // namespace

int _tmain(int argc, char16_t** argv) {
    if (argc >= 2 && IsCommand(argv[1], u"/preview")) {
        // The whole run, start-up included, goes over the preview's dry-run layer.
        PreviewLayer preview(CommandArguments(argv + 2, static_cast<std::size_t>(argc - 2)));
        int result = RunMain(argc, argv, !preview.Reports());
        return preview.Report(result, result == ZE_EXIT_INIT_FAILED ? kStartUpFailed : u"");
    }
    return RunMain(argc, argv);
}

}  // namespace ze
