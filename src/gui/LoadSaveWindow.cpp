// Layout of the load/save dialog.
#include "gui/LoadSaveWindow.h"

#include "gui/ViewParts.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>

namespace kreisel {

LoadSaveWindow::LoadSaveWindow(TFormLoadSaveDlg& form, Binder& binder, QWidget* parent)
    : QDialog(parent), form_(form), binder_(binder) {
    setObjectName(QString::fromStdString(form.Name()));
    setModal(true);
    Placer place(binder, {&form});
    auto* col = new QVBoxLayout(this);
    auto* group = new QGroupBox(this);
    group->setObjectName(QString::fromStdString(form.GBLoadSaveDlg.Name()));
    auto* choices = new QVBoxLayout(group);
    // The import stands in the export's place; only one of the two is shown.
    place.AddTo(*choices, {"RBPrefsAndMixers_Defaults", "RBMixers", "RBLoops", "RBExportOutput",
                           "RBImportLoop", "RBPrefs"});
    col->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    col->addWidget(buttons);

    form_.ShowModal = [this, group] {
        binder_.Refresh();
        setWindowTitle(QString::fromStdString(form_.Caption()));
        group->setTitle(QString::fromStdString(form_.GBLoadSaveDlg.Text()));
        adjustSize();
        return exec() == QDialog::Accepted;
    };
}

LoadSaveWindow::~LoadSaveWindow() {
    form_.ShowModal = nullptr;
}

} // namespace kreisel
