// "/?", "/help", "-h" and "--help".
#include "commands/commands.h"
#include "common/console.h"
#include "common/log.h"

namespace ze {

std::u16string UsageText() {
    return u"Usage: ZeRegionSvc [command | hardware ID]\r\n"
           u"\r\n"
           u"Resets one wireless adapter's driver values from the Windows country and the\r\n"
           u"country data file, rewrites its advanced-property texts from its OEM INF, and\r\n"
           u"restarts it. The adapter is the one whose Net ID the settings file records.\r\n"
           u"\r\n"
           u"Commands (any case):\r\n"
           u"  (none)            run as the service (started by the service manager)\r\n"
           u"  /install          register the service (automatic start)\r\n"
           u"  /uninstall        stop, then delete the service\r\n"
           u"  /start, /stop     start or stop the service\r\n"
           u"  /debug            one reset now, then the service's start type becomes manual\r\n"
           u"  /preview [json]   show what /debug would change, or why it would fail,\r\n"
           u"                    changing nothing\r\n"
           u"  /check [FILE]     check the country data file, the adapter's driver values,\r\n"
           u"                    platform settings file and OEM INF (or the one data or\r\n"
           u"                    platform FILE), then show what each country would get\r\n"
           u"  /check [FILE] /regdb [DB] [/map OUT.svg]\r\n"
           u"                    also audit each country's channels against the regulatory\r\n"
           u"                    database DB (wireless-regdb's regulatory.db), and draw them\r\n"
           u"  /?, /help, -h, --help   this text\r\n"
           u"  /version          the program's version\r\n"

           u"  <hardware ID>     record the Net ID of the first present network adapter whose\r\n"
           u"                    first hardware ID contains this text (not empty)\r\n"
           u"\r\n"
           u"Exit codes, as cmd's %ERRORLEVEL% and PowerShell's $LASTEXITCODE show them:\r\n"
           u"  0     success; /preview: nothing would change; /check: no errors\r\n"
           u"  1     /preview: a reset would change something; /check: errors found;\r\n"
           u"        start-up failed (path or name too long)\r\n"
           u"  2     /preview: the reset would fail, or cannot be previewed (no Net ID, no\r\n"
           u"        adapter, no country data file, no rights)\r\n"
           u"  87    an unknown command (an argument starting with / or -), an empty\r\n"
           u"        hardware ID, a /preview format other than json; /map without its\r\n"
           u"        path or without /regdb\r\n"
           u"  -4    /install: the service key cannot be opened\r\n"
           u"  -6    a value or the settings file cannot be written\r\n"
           u"  -7, -999   hardware ID: the device lookup failed or found no adapter\r\n"
           u"  -101 to -106   the service manager, or the service, cannot be opened, created\r\n"
           u"        (or its configuration changed), deleted, started or controlled\r\n"
           u"  -107  no argument, but not started by the service manager\r\n"
           u"  -108  /debug: the adapter was disabled and could not be enabled again\r\n"
           u"  -109  the service could not register its handler or report its end\r\n"
           u"  -110  a command that changes the machine, run without administrator rights\r\n"
           u"  -111  /install: the program's folder or files can be written by others than\r\n"
           u"        SYSTEM and Administrators (the service stops with it too)\r\n"
           u"  3010  /debug: done, but Windows must restart for the adapter to take it\r\n"
           u"A Linux shell running the program under Wine shows a negative code as its\r\n"
           u"low byte (-107 is 149).\r\n"
           u"\r\n"
           u"Files, beside the executable (<name> is its base name):\r\n"
           u"  <name>.ini     settings: [Settings] WriteLogFile, DebugMode, RunTimes;\r\n"
           u"                 [DriverKey] NetID; [Service] ServiceDisplayName, "
           u"ServiceDescription\r\n"
           u"  ZeCoInst.dat   country data, keyed by country code\r\n"
           u"  <name>.log     the diagnostic log (UTF-16LE)\r\n"
           u"  (settings and data files: UTF-16LE with a byte-order mark, or ANSI; not UTF-8)\r\n"
           u"Elsewhere: %SystemRoot%\\system32\\ZC<chip>.ini (platform settings),\r\n"
           u"  %SystemRoot%\\inf\\<InfPath> (the adapter's OEM INF, read only), the driver key\r\n"
           u"  "
           u"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-"
           u"08002bE10318}\\<NetID>\r\n"
           u"  and the service key HKLM\\SYSTEM\\CurrentControlSet\\Services\\<name>.\r\n";
}

int RefuseUsage(const std::u16string& reason) {
    LogPrint(u"[ZeRegionSvc] Command line refused: %s\r\n", reason.c_str());
    PrintError(u"ZeRegionSvc: " + reason + u".\r\n\r\n" + UsageText());
    return ZE_EXIT_USAGE;
}

int RunHelp(const RunInputs&, CommandArguments) {
    PrintOut(UsageText());
    return 0;
}

}  // namespace ze
