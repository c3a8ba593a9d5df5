#include "platform/platform_decorator.h"

#include "sim_fixture.h"

namespace ze::testing {
namespace {

// Names every call it forwards.
class CallNames : public PlatformDecorator {
  public:
    using PlatformDecorator::PlatformDecorator;
    std::vector<std::string> names;

  protected:
    void OnCall(Call call) override { names.emplace_back(CallName(call)); }
};

using PlatformDecoratorTest = SimTest;

TEST_F(PlatformDecoratorTest, ForwardsEveryCallAndNamesItFirst) {
    CallNames layer(Sim());
    ScopedPlatform scope(layer);
    EXPECT_EQ(RunMain({u"/install"}), 0);
    // key, service, description, then the event source's three keys and two values
    EXPECT_EQ(JournalLines().size(), 8u);
    std::vector<std::string> service;
    for (const auto& name : layer.names) {
        if (name.find("Service") != std::string::npos || name == "OpenSCManagerW")
            service.push_back(name);
    }
    EXPECT_EQ(service, (std::vector<std::string>{"OpenSCManagerW", "CreateServiceW",
                                                 "CloseServiceHandle", "CloseServiceHandle"}));
}

}  // namespace
}  // namespace ze::testing
