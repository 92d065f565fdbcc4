#include "StaywakeCore/LoginItem/LoginItemController.h"

#include <gtest/gtest.h>

namespace staywake {
namespace {

using State = LoginItemState;

class ScriptedLoginItem final : public LoginItem {
public:
    ScriptedLoginItem(State initial, bool atStableLocation) : current(initial), stable(atStableLocation) {}

    State state() const override { return current; }
    bool isAtStableLocation() const override { return stable; }
    void registerItem() override {
        ++registerCalls;
        change(stateAfterRegister);
    }
    void unregisterItem() override {
        ++unregisterCalls;
        change(State::disabled);
    }
    void change(State after) {
        if (refusal) {
            throw std::runtime_error(*refusal);
        }
        current = after;
    }

    State current;
    bool stable;
    State stateAfterRegister = State::enabled;
    std::optional<std::string> refusal;
    int registerCalls = 0;
    int unregisterCalls = 0;
};

// Only an enabled item at a stable location is registered again at launch; a toggle enables only from disabled.
TEST(LoginItemController, RegistersAndUnregistersOnlyWhenTheStateCallsForIt) {
    enum class Action { launch, launchWithoutRepair, toggle };
    // The item's state, whether it is at a stable location, the action; registrations, unregistrations, after.
    const std::tuple<State, bool, Action, int, int, State> cases[] = {
        {State::enabled, true, Action::launch, 1, 0, State::enabled},
        {State::enabled, false, Action::launch, 0, 0, State::enabled}, // run from a download or a mounted image
        {State::enabled, true, Action::launchWithoutRepair, 0, 0, State::enabled},
        {State::disabled, true, Action::launch, 0, 0, State::disabled},
        {State::requiresApproval, true, Action::launch, 0, 0, State::requiresApproval},
        {State::disabled, false, Action::toggle, 1, 0, State::enabled},
        {State::enabled, false, Action::toggle, 0, 1, State::disabled},
        {State::requiresApproval, false, Action::toggle, 0, 1, State::disabled}, // withdraws the waiting one
    };
    int row = 0;
    for (const auto& [state, stable, action, registrations, unregistrations, after] : cases) {
        auto item = std::make_shared<ScriptedLoginItem>(state, stable);
        LoginItemController controller(item, action != Action::launchWithoutRepair);
        if (action == Action::toggle) {
            controller.toggle();
        }
        EXPECT_EQ(std::tuple(item->registerCalls, item->unregisterCalls, controller.state().get()),
                  std::tuple(registrations, unregistrations, after))
            << "row " << row++;
        EXPECT_EQ(controller.lastFailure().get(), std::nullopt);
    }
}

TEST(LoginItemController, AFailureKeepsItsMessageUntilAChangeSucceedsOrTheStateMovesOn) {
    const auto refused = AwakeFailure::reported("Could not write the autostart entry: Read-only file system");
    auto item = std::make_shared<ScriptedLoginItem>(State::enabled, true);
    item->refusal = refused.message();
    LoginItemController controller(item, true); // the repair at launch fails
    EXPECT_EQ(controller.lastFailure().get(), refused);
    item->current = State::disabled;
    controller.setEnabled(true);
    EXPECT_EQ(controller.state().get(), State::disabled) << "what the item reports, not what was asked";
    controller.refresh();
    EXPECT_EQ(controller.lastFailure().get(), refused) << "nothing changed: the failure stays";
    item->current = State::requiresApproval; // changed elsewhere
    controller.refresh();
    EXPECT_EQ(controller.lastFailure().get(), std::nullopt);

    controller.setEnabled(false);
    item->refusal.reset();
    item->stateAfterRegister = State::requiresApproval;
    controller.setEnabled(true);
    controller.setEnabled(true);
    EXPECT_EQ(controller.lastFailure().get(), std::nullopt);
    EXPECT_TRUE(controller.isRegistered() && controller.needsApproval() && !controller.isEnabled());
}

} // namespace
} // namespace staywake
