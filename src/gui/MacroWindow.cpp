// Layout and editor of the macro window.
#include "gui/MacroWindow.h"

#include <QBoxLayout>
#include <QFile>
#include <QPlainTextEdit>
#include <QTextBlock>

namespace kreisel {

namespace {

std::vector<std::string> EditorLines(const QPlainTextEdit& editor) {
    std::vector<std::string> lines;
    for (const QString& line : editor.toPlainText().split(QLatin1Char('\n')))
        lines.push_back(line.toStdString());
    if (lines.size() == 1 && lines.front().empty()) lines.clear();
    return lines;
}

} // namespace

MacroWindow::MacroWindow(TFormMacros& form, Binder& binder, QWidget* parent)
    : FormWindow(form, parent), form_(form) {
    setWindowTitle(QString::fromStdString(form.Caption()));
    Placer place(binder, {&form});
    auto* col = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    place.AddTo(*buttons, {"ButtonStartStopMacros", "SBDoMacrosPause", "ButtonResetMacros", "ButtonLoadMacros",
                           "ButtonSaveMacros", "ButtonSaveMacrosDefault", "SBShowKeys", "CBKeysAll"});
    buttons->addStretch(1);
    col->addLayout(buttons);

    // The editor is the view's own: the user types here, and the model takes every change.
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(QString::fromStdString(form.MemoMacros.Name()));
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    editor_->setFont(mono);
    editor_->setMinimumSize(520, 360);
    col->addWidget(editor_, 1);
    place.AddTo(*col, {"MemoKeys"});
    connect(editor_, &QPlainTextEdit::textChanged, this, [this] {
        if (writing_ || form_.Interpreter.MacrosActive()) return;
        shownLines_ = EditorLines(*editor_);
        form_.MemoMacros.SetLines(shownLines_);
    });
    connect(editor_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (!writing_) form_.MemoMacrosClick(editor_->textCursor().blockNumber());
    });

    auto* status = new QHBoxLayout;
    place.AddTo(*status, {"LabelMacroStatus", "LabelDebug"});
    col->addLayout(status);

    auto* panel = new QWidget(this);
    place.Bind(form.PanelMacroStatus.Name(), panel);
    auto* panelRow = new QVBoxLayout(panel);
    auto* controlsRow = new QHBoxLayout;
    place.AddTo(*controlsRow, {"ButtonSaveControls", "ButtonLoadControls", "CBLoadCaptions", "ButtonHelpMacros"});
    controlsRow->addStretch(1);
    panelRow->addLayout(controlsRow);
    place.AddTo(*panelRow, {"MemoComps", "MemoCompsErrors"});
    col->addWidget(panel);
    form.PanelMacroStatus.SetVisible(QFile::exists(QStringLiteral("_Debugging.txt")));

    connect(&binder, &Binder::Refreshed, this, [this] { Follow(); });
    Follow();
}

void MacroWindow::Follow() {
    const bool active = form_.Interpreter.MacrosActive();
    if (editor_->isReadOnly() != active) {
        editor_->setReadOnly(active);
        QPalette p = editor_->palette();
        p.setColor(QPalette::Text, active ? palette().color(QPalette::Disabled, QPalette::Text)
                                          : palette().color(QPalette::Active, QPalette::Text));
        editor_->setPalette(p);
    }
    if (form_.MemoMacros.Lines() != shownLines_) {
        shownLines_ = form_.MemoMacros.Lines();
        QStringList lines;
        for (const std::string& line : shownLines_)
            lines << QString::fromStdString(line);
        writing_ = true;
        editor_->setPlainText(lines.join(QLatin1Char('\n')));
        writing_ = false;
        shownLine_ = -2;
    }
    const int line = active ? form_.RunningLine() : -1;
    if (line == shownLine_) return;
    shownLine_ = line;
    QList<QTextEdit::ExtraSelection> marks;
    if (line >= 0) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(editor_->document()->findBlockByNumber(line));
        mark.format.setBackground(QColor(255, 230, 120));
        mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        marks << mark;
        writing_ = true;
        editor_->setTextCursor(mark.cursor);
        writing_ = false;
    }
    editor_->setExtraSelections(marks);
}

} // namespace kreisel
