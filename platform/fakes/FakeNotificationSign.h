// A notification sign for tests: records every call as a line ("add 189 <tip>", "modify 171", "remove"),
// knows whether it is shown, and lets a test press it (Click runs the handler as the adapters would).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/NotificationSign.h"

namespace vask {

class FakeNotificationSign : public NotificationSign {
  public:
    void Add(int iconId, const std::string& tip) override {
        calls.push_back("add " + std::to_string(iconId) + " " + tip);
        shown = true;
        icon = iconId;
    }
    void Modify(int iconId) override {
        calls.push_back("modify " + std::to_string(iconId));
        if (shown) icon = iconId;
    }
    void Remove() override {
        calls.push_back("remove");
        shown = false;
    }
    void OnClick(std::function<void()> handler) override { handler_ = std::move(handler); }

    // A button press on the sign.
    void Click() {
        if (handler_) handler_();
    }

    std::vector<std::string> calls;
    bool shown = false;
    int icon = 0;

  private:
    std::function<void()> handler_;
};

}  // namespace vask
