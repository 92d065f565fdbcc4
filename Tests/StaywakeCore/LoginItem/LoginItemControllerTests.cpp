#include "StaywakeCore/LoginItem/InMemoryLoginItem.h"
#include "StaywakeCore/LoginItem/LoginItemController.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace staywake {
namespace {

/// A login item that counts what it is asked, can be told to refuse, and
/// reports whatever state the test gives it after a registration.
class ScriptedLoginItem final : public LoginItem {
public:
    ScriptedLoginItem(LoginItemState initial, bool atStableLocation)
        : current(initial), stable(atStableLocation) {}

    LoginItemState state() const override {
        ++stateReads;
        return current;
    }
    bool isAtStableLocation() const override { return stable; }
    void registerItem() override {
        ++registerCalls;
        if (refusal) {
            throw std::runtime_error(*refusal);
        }
        current = stateAfterRegister;
    }
    void unregisterItem() override {
        ++unregisterCalls;
        if (refusal) {
            throw std::runtime_error(*refusal);
        }
        current = LoginItemState::disabled;
    }

    LoginItemState current;
    bool stable;
    LoginItemState stateAfterRegister = LoginItemState::enabled;
    std::optional<std::string> refusal;
    mutable int stateReads = 0;
    int registerCalls = 0;
    int unregisterCalls = 0;
};

const std::string refusalText =
    "Could not write the autostart entry /home/ann/.config/autostart/x: Read-only file system";

TEST(LoginItemController, RepairsOnlyAnEnabledRegistrationAtAStableLocation) {
    struct Case {
        LoginItemState state;
        bool stable;
        bool repairing;
        int registerCalls;
        int stateReads;
    };
    const Case cases[] = {
        {LoginItemState::enabled, true, true, 1, 2},
        {LoginItemState::enabled, false, true, 0, 1}, // run from a download or a mounted image
        {LoginItemState::enabled, true, false, 0, 1},
        {LoginItemState::disabled, true, true, 0, 1},
        {LoginItemState::disabled, false, true, 0, 1},
        {LoginItemState::requiresApproval, true, true, 0, 1},
    };
    for (const auto& c : cases) {
        auto item = std::make_shared<ScriptedLoginItem>(c.state, c.stable);
        const LoginItemController controller(item, c.repairing);
        EXPECT_EQ(item->registerCalls, c.registerCalls)
            << static_cast<int>(c.state) << c.stable << c.repairing;
        EXPECT_EQ(item->stateReads, c.stateReads) << static_cast<int>(c.state) << c.stable << c.repairing;
        EXPECT_EQ(item->unregisterCalls, 0);
        EXPECT_EQ(controller.state().get(), c.state);
        EXPECT_EQ(controller.lastFailure().get(), std::nullopt);
    }
}

TEST(LoginItemController, AFailedRepairIsReportedAndTheStateReadAgain) {
    auto item = std::make_shared<ScriptedLoginItem>(LoginItemState::enabled, true);
    item->refusal = refusalText;
    const LoginItemController controller(item, true);
    EXPECT_EQ(controller.lastFailure().get(), AwakeFailure::reported(refusalText));
    EXPECT_EQ(item->stateReads, 2);
    EXPECT_EQ(controller.state().get(), LoginItemState::enabled);
}

TEST(LoginItemController, AFailedChangeKeepsItsMessageAndShowsWhatTheItemReports) {
    auto item = std::make_shared<ScriptedLoginItem>(LoginItemState::disabled, true);
    LoginItemController controller(item, true);
    item->refusal = refusalText;

    controller.setEnabled(true);
    EXPECT_EQ(controller.lastFailure().get(), AwakeFailure::reported(refusalText));
    EXPECT_EQ(controller.state().get(), LoginItemState::disabled);
    EXPECT_FALSE(controller.isRegistered());

    // The next successful change clears it, and the state is read, not assumed.
    item->refusal.reset();
    item->stateAfterRegister = LoginItemState::requiresApproval;
    controller.setEnabled(true);
    EXPECT_EQ(controller.lastFailure().get(), std::nullopt);
    EXPECT_EQ(controller.state().get(), LoginItemState::requiresApproval);
    EXPECT_TRUE(controller.isRegistered());
    EXPECT_TRUE(controller.needsApproval());
    EXPECT_FALSE(controller.isEnabled());
}

TEST(LoginItemController, RefreshDropsAFailureOnlyWhenTheStateMovedOn) {
    auto item = std::make_shared<ScriptedLoginItem>(LoginItemState::requiresApproval, true);
    LoginItemController controller(item, true);
    item->refusal = refusalText;
    controller.setEnabled(false);
    ASSERT_TRUE(controller.lastFailure().get().has_value());

    controller.refresh();
    EXPECT_TRUE(controller.lastFailure().get().has_value()) << "nothing changed: the failure stays";

    item->current = LoginItemState::enabled; // the user approved it elsewhere
    controller.refresh();
    EXPECT_EQ(controller.state().get(), LoginItemState::enabled);
    EXPECT_EQ(controller.lastFailure().get(), std::nullopt);
}

TEST(LoginItemController, ToggleEnablesOnlyFromDisabled) {
    struct Case {
        LoginItemState from;
        int registerCalls;
        int unregisterCalls;
        LoginItemState to;
    };
    const Case cases[] = {
        {LoginItemState::disabled, 1, 0, LoginItemState::enabled},
        {LoginItemState::enabled, 0, 1, LoginItemState::disabled},
        {LoginItemState::requiresApproval, 0, 1, LoginItemState::disabled}, // withdraws the waiting one
    };
    for (const auto& c : cases) {
        auto item = std::make_shared<ScriptedLoginItem>(c.from, false);
        LoginItemController controller(item, true);
        controller.toggle();
        EXPECT_EQ(item->registerCalls, c.registerCalls) << static_cast<int>(c.from);
        EXPECT_EQ(item->unregisterCalls, c.unregisterCalls) << static_cast<int>(c.from);
        EXPECT_EQ(controller.state().get(), c.to) << static_cast<int>(c.from);
    }
}

TEST(LoginItemController, TellsObserversOfRealChangesOnly) {
    auto item = std::make_shared<InMemoryLoginItem>(LoginItemState::disabled, true);
    LoginItemController controller(item, true);
    std::vector<LoginItemState> states;
    controller.state().observe([&](LoginItemState state) { states.push_back(state); });

    controller.setEnabled(true);
    controller.setEnabled(true);
    controller.refresh();
    controller.toggle();
    EXPECT_EQ(states, (std::vector<LoginItemState>{LoginItemState::enabled, LoginItemState::disabled}));
    EXPECT_TRUE(controller.isAtStableLocation());
}

} // namespace
} // namespace staywake
