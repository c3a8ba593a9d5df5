#include "common/run_inputs.h"

#include "common/paths.h"

namespace ze {

RunInputs ReadRunInputs() {
    RunInputs inputs{g_szZeRegionSvcIniPath, g_szZeCoInstDatPath, {}, std::nullopt};
    inputs.netId = GetIniString(u"DriverKey", u"NetID", u"", inputs.settingsFile);
    return inputs;
}

}  // namespace ze
