// A Platform that forwards every call to another one. Layers that wrap the whole
// program (a dry run, a sweep that counts calls or makes them fail) derive from it and
// override only the calls they change; OnCall sees every call first.
#pragma once

#include "platform/platform.h"

namespace ze {

class PlatformDecorator : public Platform {
  public:
    explicit PlatformDecorator(Platform& inner) : inner_(inner) {}

    Platform& Inner() { return inner_; }

#define ZE_FORWARD_CALL(ret, name, ...)           \
    ret name(ZE_PARAMS(__VA_ARGS__)) override {   \
        OnCall(Call::name);                       \
        return inner_.name(ZE_ARGS(__VA_ARGS__)); \
    }
    ZE_PLATFORM_CALLS(ZE_FORWARD_CALL)
#undef ZE_FORWARD_CALL

  protected:
    virtual void OnCall(Call) {}

  private:
    Platform& inner_;
};

}  // namespace ze
