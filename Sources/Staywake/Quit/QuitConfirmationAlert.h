#pragma once

#include "StaywakeCore/Quit/QuitConfirmation.h"

#include <QMessageBox>
#include <memory>
#include <string>

namespace staywake {

/// The alert that confirms a quit which would end awake mode or Night Brew.
class QuitConfirmationAlert {
public:
    /// The alert for `confirmation` (none for quitNow): information icon, the
    /// title as its text, the time left and the consequence as its informative
    /// text, the confirm button (default) and "Cancel" (Escape), laid out in
    /// `direction`. Durations are worded in `locale` (an ICU locale id).
    static std::unique_ptr<QMessageBox> make(const QuitConfirmation& confirmation, const std::string& locale,
                                             Qt::LayoutDirection direction);

    /// Brings the alert to the front and runs it modally: true exactly when the
    /// confirm button was chosen (true at once when there is nothing to ask).
    /// Escape, "Cancel", closing the alert and dismiss() answer false.
    static bool ask(const QuitConfirmation& confirmation, const std::string& locale,
                    Qt::LayoutDirection direction);

    /// Closes the alert that ask() is running, as "Cancel" would; nothing
    /// when none is up.
    static void dismiss();
};

} // namespace staywake
