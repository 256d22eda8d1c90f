// Qt and Linux implementations of the host services.
#include "gui/QtHost.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace kreisel {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString BoxText(const std::string& s) {
    QString t = Q(s);
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}

} // namespace

// --- Timers

QtTimers::QtTimers() = default;

QtTimers::~QtTimers() {
    for (auto& [id, timer] : timers_)
        delete timer;
}

int QtTimers::Start(int intervalMs, bool periodic, std::function<void()> callback) {
    const int id = nextId_++;
    auto* timer = new QTimer();
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(std::max(intervalMs, 1));
    timer->setSingleShot(!periodic);
    auto shared = std::make_shared<std::function<void()>>(std::move(callback));
    QObject::connect(timer, &QTimer::timeout, timer, [this, id, periodic, shared] {
        // A one-shot timer has ended before its callback runs, so the callback may start a new
        // one or stop this id without harm.
        if (!periodic) Stop(id);
        if (*shared) (*shared)();
    });
    timers_.emplace(id, timer);
    timer->start();
    return id;
}

void QtTimers::Stop(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    QTimer* timer = it->second;
    timers_.erase(it);
    timer->stop();
    timer->deleteLater(); // it may be the one whose timeout is running now
}

// --- Event pump

void QtEventPump::ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::WaitForEvents(int maxMs) {
    // The single shot is itself an event, so the dispatcher wakes at the latest then.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(std::max(maxMs, 0));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// --- Dialogs

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        description.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)\\s*$")));
        QStringList patterns;
        for (QString p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) p = QStringLiteral("*"); // files without a dot too
            if (!p.isEmpty()) patterns << p;
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

struct BoxButton {
    const char* text;
    DialogResult result;
    QMessageBox::ButtonRole role;
};

std::vector<BoxButton> ButtonsOf(DialogButtons buttons) {
    using R = DialogResult;
    switch (buttons) {
    case DialogButtons::Ok:
        return {{"OK", R::Ok, QMessageBox::AcceptRole}};
    case DialogButtons::OkCancel:
        return {{"OK", R::Ok, QMessageBox::AcceptRole}, {"Abbrechen", R::Cancel, QMessageBox::RejectRole}};
    case DialogButtons::YesNo:
        return {{"Ja", R::Yes, QMessageBox::YesRole}, {"Nein", R::No, QMessageBox::NoRole}};
    case DialogButtons::YesNoCancel:
        return {{"Ja", R::Yes, QMessageBox::YesRole},
                {"Nein", R::No, QMessageBox::NoRole},
                {"Abbrechen", R::Cancel, QMessageBox::RejectRole}};
    case DialogButtons::OkNoCancel:
        return {{"OK", R::Ok, QMessageBox::AcceptRole},
                {"Nein", R::No, QMessageBox::NoRole},
                {"Abbrechen", R::Cancel, QMessageBox::RejectRole}};
    }
    return {};
}

QMessageBox::Icon IconOf(DialogIcon icon) {
    switch (icon) {
    case DialogIcon::Information:
        return QMessageBox::Information;
    case DialogIcon::Warning:
        return QMessageBox::Warning;
    case DialogIcon::Error:
        return QMessageBox::Critical;
    case DialogIcon::Question:
        return QMessageBox::Question;
    case DialogIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const FileDialogOptions& o,
                                            const std::string& lastFolder) {
    auto d = std::make_unique<QFileDialog>(parent, Q(o.title));
    d->setOption(QFileDialog::DontUseNativeDialog); // the accept button's caption must hold
    const std::string folder = o.folder.empty() ? lastFolder : o.folder;
    if (!folder.empty()) d->setDirectory(Q(folder));
    if (!o.filter.empty()) {
        const QStringList filters = QtFileFilter(o.filter).split(QStringLiteral(";;"));
        d->setNameFilters(filters);
        if (o.filterIndex > 0 && o.filterIndex < filters.size())
            d->selectNameFilter(filters.at(o.filterIndex));
    }
    QString ext = Q(o.defaultExtension);
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (!ext.isEmpty()) d->setDefaultSuffix(ext);
    if (!o.fileName.empty()) d->selectFile(Q(o.fileName));
    d->setLabelText(QFileDialog::Accept, o.okCaption.empty() ? QStringLiteral("OK") : Q(o.okCaption));
    d->setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    d->setLabelText(QFileDialog::LookIn, QStringLiteral("Suchen in:"));
    d->setLabelText(QFileDialog::FileName, QStringLiteral("Dateiname:"));
    d->setLabelText(QFileDialog::FileType, QStringLiteral("Dateityp:"));
    return d;
}

} // namespace

DialogResult QtDialogs::Ask(const Question& question) {
    if (unattended_) {
        std::fprintf(stderr, "%s: %s\n", question.caption.c_str(), question.text.c_str());
        return question.defaultResult;
    }
    if (question.timeoutMs > 0) return timedAsk_ ? timedAsk_(question) : CountDownBox(question);
    QMessageBox box(IconOf(question.icon), Q(question.caption), BoxText(question.text), QMessageBox::NoButton,
                    parent_);
    std::vector<std::pair<QAbstractButton*, DialogResult>> buttons;
    for (const BoxButton& b : ButtonsOf(question.buttons)) {
        QPushButton* button = box.addButton(QString::fromUtf8(b.text), b.role);
        buttons.emplace_back(button, b.result);
        if (b.result == question.defaultResult) box.setDefaultButton(button);
        if (b.result == DialogResult::Cancel) box.setEscapeButton(button);
    }
    box.exec();
    for (const auto& [button, result] : buttons)
        if (box.clickedButton() == button) return result;
    return DialogResult::Cancel;
}

// Stands in for the timed box until the application gives one: the remaining seconds below the
// text, and the default answer when they run out.
DialogResult QtDialogs::CountDownBox(const Question& question) {
    QMessageBox box(IconOf(question.icon), Q(question.caption), BoxText(question.text), QMessageBox::NoButton,
                    parent_);
    std::vector<std::pair<QAbstractButton*, DialogResult>> buttons;
    QAbstractButton* fallback = nullptr;
    for (const BoxButton& b : ButtonsOf(question.buttons)) {
        QPushButton* button = box.addButton(QString::fromUtf8(b.text), b.role);
        buttons.emplace_back(button, b.result);
        if (b.result == question.defaultResult) {
            box.setDefaultButton(button);
            fallback = button;
        }
    }
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    auto show = [&] {
        const qint64 left = std::max<qint64>(0, question.timeoutMs - elapsed.elapsed());
        box.setInformativeText(
            QStringLiteral("(%1 Sek.)").arg(static_cast<double>(left) / 1000.0, 0, 'f', 1));
        if (left == 0) {
            if (fallback != nullptr)
                fallback->click();
            else
                box.reject();
        }
    };
    QObject::connect(&tick, &QTimer::timeout, &box, show);
    show();
    tick.start(100);
    box.exec();
    for (const auto& [button, result] : buttons)
        if (box.clickedButton() == button) return result;
    return DialogResult::Cancel;
}

void QtDialogs::ShowMessage(const std::string& text) {
    if (unattended_) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), BoxText(text),
                    QMessageBox::NoButton, parent_);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

std::vector<std::string> QtDialogs::OpenFiles(const FileDialogOptions& options) {
    if (unattended_) return {};
    auto d = MakeFileDialog(parent_, options, lastFolder_);
    d->setAcceptMode(QFileDialog::AcceptOpen);
    d->setFileMode(options.allowMultiple
                       ? QFileDialog::ExistingFiles
                       : (options.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
    std::vector<std::string> chosen;
    if (d->exec() != QDialog::Accepted) return chosen;
    for (const QString& f : d->selectedFiles())
        chosen.push_back(f.toStdString());
    lastFolder_ = d->directory().absolutePath().toStdString();
    return chosen;
}

std::optional<std::string> QtDialogs::SaveFile(const FileDialogOptions& options) {
    if (unattended_) return std::nullopt;
    auto d = MakeFileDialog(parent_, options, lastFolder_);
    d->setAcceptMode(QFileDialog::AcceptSave);
    d->setFileMode(QFileDialog::AnyFile);
    d->setOption(QFileDialog::DontConfirmOverwrite); // the caller asks "überschreiben?"
    if (d->exec() != QDialog::Accepted || d->selectedFiles().isEmpty()) return std::nullopt;
    lastFolder_ = d->directory().absolutePath().toStdString();
    return d->selectedFiles().front().toStdString();
}

std::optional<std::string> QtDialogs::SelectFolder(const std::string& title, const std::string& startFolder) {
    if (unattended_) return std::nullopt;
    QFileDialog d(parent_, Q(title));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly);
    const std::string start = startFolder.empty() ? lastFolder_ : startFolder;
    if (!start.empty()) d.setDirectory(Q(start));
    d.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    d.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
    lastFolder_ = d.selectedFiles().front().toStdString();
    return lastFolder_;
}

std::optional<std::string> QtDialogs::InputText(const TextQuery& query) {
    if (unattended_) return std::nullopt;
    QInputDialog d(parent_);
    d.setWindowTitle(Q(query.caption));
    d.setLabelText(BoxText(query.prompt));
    d.setTextValue(Q(query.defaultText));
    d.setOkButtonText(QStringLiteral("OK"));
    d.setCancelButtonText(QStringLiteral("Abbrechen"));
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return d.textValue().toStdString();
}

// --- Desktop

namespace {

bool StartProgram(const QString& program, const QStringList& arguments) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return false;
    return QProcess::startDetached(program, arguments);
}

} // namespace

bool XdgDesktop::OpenFolder(const std::string& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(folder)));
}

bool XdgDesktop::StartSystemMixer() {
    if (StartProgram(QStringLiteral("pavucontrol"), {})) return true;
    if (StartProgram(QStringLiteral("qpwgraph"), {})) return true;
    if (QStandardPaths::findExecutable(QStringLiteral("alsamixer")).isEmpty()) return false;
    return StartProgram(QStringLiteral("x-terminal-emulator"),
                        {QStringLiteral("-e"), QStringLiteral("alsamixer")}) ||
           StartProgram(QStringLiteral("xterm"), {QStringLiteral("-e"), QStringLiteral("alsamixer")});
}

bool XdgDesktop::OpenHelp(int helpContext) {
    if (helpFolder_.empty()) return false;
    const QDir dir(Q(helpFolder_));
    QString page = dir.filePath(QStringLiteral("%1.html").arg(helpContext));
    if (!QFile::exists(page)) page = dir.filePath(QStringLiteral("index.html"));
    if (!QFile::exists(page)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
}

bool XdgDesktop::RegisterFileType(const std::string& extension, const std::string& description) {
    QString ext = Q(extension);
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (ext.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty()) return false;
    const QString mime = QStringLiteral("application/x-kreisel-") + ext.toLower();
    QTemporaryDir dir;
    if (!dir.isValid()) return false;
    QFile xml(dir.filePath(QStringLiteral("kreisel-") + ext.toLower() + QStringLiteral(".xml")));
    if (!xml.open(QIODevice::WriteOnly)) return false;
    const QString text =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                       "  <mime-type type=\"%1\">\n    <comment>%2</comment>\n"
                       "    <glob pattern=\"*.%3\"/>\n    <glob pattern=\"*.%4\"/>\n  </mime-type>\n"
                       "</mime-info>\n")
            .arg(mime, Q(description).toHtmlEscaped(), ext.toLower(), ext.toUpper());
    xml.write(text.toUtf8());
    xml.close();
    const int installed =
        QProcess::execute(QStringLiteral("xdg-mime"),
                          {QStringLiteral("install"), QStringLiteral("--novendor"), xml.fileName()});
    if (installed != 0) return false;
    return QProcess::execute(QStringLiteral("xdg-mime"),
                             {QStringLiteral("default"), QStringLiteral("kreisel.desktop"), mime}) == 0;
}

bool XdgDesktop::SetClipboardText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) return false;
    clipboard->setText(QString::fromStdString(text));
    return true;
}

} // namespace kreisel
