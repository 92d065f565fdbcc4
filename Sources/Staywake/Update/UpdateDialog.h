#pragma once

#include "StaywakeCore/Update/Appcast.h"

#include <QDialog>
#include <QString>

class QLabel;
class QTextBrowser;

namespace staywake {

/// Offers one newer release: its version against the running one, its
/// release notes, and the three answers.
class UpdateDialog final : public QDialog {
    Q_OBJECT

public:
    enum class Answer { install, remindLater, skip };

    UpdateDialog(const AppcastItem& item, const QString& currentVersion, Qt::LayoutDirection direction,
                 QWidget* parent = nullptr);

    /// Shows HTML release notes as plain rich text: the text view runs no
    /// scripts and here loads nothing, so images and style sheets that point
    /// anywhere stay out.
    void setReleaseNotes(const QString& html);

signals:
    void answered(staywake::UpdateDialog::Answer answer);

private:
    void finish(Answer answer);

    QLabel* notesTitle_ = nullptr;
    QTextBrowser* notes_ = nullptr;
    bool isAnswered_ = false;
};

} // namespace staywake
