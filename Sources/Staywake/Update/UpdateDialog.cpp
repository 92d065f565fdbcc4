#include "Staywake/Update/UpdateDialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace staywake {

namespace {

QString text(const char* key) { return QCoreApplication::translate("Localizable", key); }

/// Release notes come from the network: nothing they name is loaded. An
/// image is a transparent point rather than nothing, which would show as a
/// broken-image mark.
class ReleaseNotesView final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

protected:
    QVariant loadResource(int type, const QUrl&) override {
        if (type == QTextDocument::ImageResource) {
            QImage nothing(1, 1, QImage::Format_ARGB32);
            nothing.fill(Qt::transparent);
            return nothing;
        }
        return {};
    }
};

} // namespace

UpdateDialog::UpdateDialog(const AppcastItem& item, const QString& currentVersion, Qt::LayoutDirection direction,
                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(text("Software Update"));
    setLayoutDirection(direction);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);

    auto* heading = new QLabel(text("A new version of Staywake is available!"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* versions =
        new QLabel(text("Staywake %1 is now available — you have %2. Would you like to install it now?")
                       .arg(QString::fromStdString(item.shortVersion), currentVersion),
                   this);
    versions->setWordWrap(true);
    layout->addWidget(versions);

    notesTitle_ = new QLabel(text("Release Notes:"), this);
    notesTitle_->setFont(bold);
    layout->addWidget(notesTitle_);
    notes_ = new ReleaseNotesView(this);
    notes_->setOpenLinks(false);
    notes_->setOpenExternalLinks(false);
    notes_->setAccessibleName(text("Release Notes"));
    notes_->setMinimumSize(420, 200);
    layout->addWidget(notes_);
    notesTitle_->setVisible(false);
    notes_->setVisible(false);

    auto* buttons = new QDialogButtonBox(this);
    auto* skip = buttons->addButton(text("Skip This Version"), QDialogButtonBox::DestructiveRole);
    auto* later = buttons->addButton(text("Remind Me Later"), QDialogButtonBox::RejectRole);
    auto* install = buttons->addButton(text("Install Update"), QDialogButtonBox::AcceptRole);
    install->setDefault(true);
    layout->addWidget(buttons);

    connect(skip, &QPushButton::clicked, this, [this] { finish(Answer::skip); });
    connect(later, &QPushButton::clicked, this, [this] { finish(Answer::remindLater); });
    connect(install, &QPushButton::clicked, this, [this] { finish(Answer::install); });
    // Closing the window is "Remind Me Later".
    connect(this, &QDialog::rejected, this, [this] { finish(Answer::remindLater); });
}

void UpdateDialog::finish(Answer answer) {
    if (isAnswered_) {
        return;
    }
    isAnswered_ = true;
    emit answered(answer);
    close();
}

void UpdateDialog::setReleaseNotes(const QString& html) {
    notes_->setHtml(html);
    notes_->setVisible(true);
    notesTitle_->setVisible(true);
}

} // namespace staywake
