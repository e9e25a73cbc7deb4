// The restore window kuvzipf2.

#include "restore/kuvzipf2_qt.h"

#include "restore/kuvzipbrowse_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

#include "ui/ImageStore_qt.h"
#include "ui/LogCategories.h"
#include "ui/WindowHelpers_qt.h"
#include "ui_kuvzipf2.h"

namespace kuv {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The title of the program's message and input boxes.
const QString kTitle = QStringLiteral("Kuv-Zip");

std::function<void()>& BeepHook() {
    static std::function<void()> hook;
    return hook;
}

void FillList(QListWidget* list, const std::vector<std::string>& entries, int selected) {
    const QSignalBlocker block(list);
    list->clear();
    for (const std::string& entry : entries) {
        auto* item = new QListWidgetItem(Q(entry), list);
        // The entry's padding hides the file name at its end: the tooltip
        // and the accessible text give the display part and the name.
        const QString text = Q(entry);
        item->setToolTip(text.simplified());
        item->setData(Qt::AccessibleTextRole, text.simplified());
    }
    list->setCurrentRow(selected);
}

}  // namespace

kuvzipf2::kuvzipf2(const RestoreWindowEnvironment& environment, const backup::MainSettings& settings,
                   const std::vector<platform::DriveEntry>& drives, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::kuvzipf2>()), settings_(settings), environment_(environment) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("kuvzipf2"));
    setWindowTitle(Q(restore::kWindowCaption));
    setWindowIcon(QIcon(icc::logoc()));
    setModal(true);
    PlaceControls();
    QFont bold = ui_->Label6->font();
    bold.setBold(true);
    ui_->Label6->setFont(bold);
    ui_->Label3->setFont(bold);
    QPalette warning = ui_->Label5->palette();
    warning.setColor(QPalette::WindowText, QColor(192, 0, 0));
    ui_->Label5->setPalette(warning);
    for (QListWidget* list : {ui_->List1, ui_->List2}) {
        list->setTextElideMode(Qt::ElideNone);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), list->font().pointSize()));
    }
    SetAccessibleTexts();

    restore::RestoreWindowContext context{*this,
                                          *environment.dialog,
                                          *environment.clock,
                                          *environment.pump,
                                          *environment.specialFolders,
                                          drives,
                                          *environment.end,
                                          settings_,
                                          environment.programFolder};
    logic_ = std::make_unique<restore::RestoreWindowLogic>(context);
    Connect();
}

kuvzipf2::~kuvzipf2() {
    while (busyDepth_ > 0) SetBusy(false);
    if (!unloaded_) logic_->Unload();
}

void kuvzipf2::Load() { logic_->Load(); }

void kuvzipf2::SetBeep(std::function<void()> beep) { BeepHook() = std::move(beep); }

int kuvzipf2::Px(double twips) const { return static_cast<int>(WidgetTwipsToPixels(this, twips) + 0.5); }

// The form is designed at 96 dpi (15 twips to a pixel): every geometry is
// taken back to twips and converted for the screen's logical dpi.
void kuvzipf2::PlaceControls() {
    const QRect window = geometry();
    resize(Px(window.width() * 15.0), Px(window.height() * 15.0));
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect r = child->geometry();
        child->setGeometry(Px(r.x() * 15.0), Px(r.y() * 15.0), Px(r.width() * 15.0), Px(r.height() * 15.0));
    }
    setFixedSize(size());
}

void kuvzipf2::SetAccessibleTexts() {
    ui_->Drive1->setAccessibleName(QStringLiteral("Lecteur"));
    ui_->Dir1->setAccessibleName(QStringLiteral("Répertoire"));
    ui_->File1->setAccessibleName(QStringLiteral("Fichiers Zip du répertoire"));
    ui_->List1->setAccessibleName(QStringLiteral("Sauvegardes trouvées"));
    ui_->List2->setAccessibleName(QStringLiteral("Sauvegardes du dossier synchronisé"));
    ui_->LabelNbFichiers->setBuddy(ui_->lblNbFichiers);
    ui_->lblNbFichiers->setAccessibleName(ui_->LabelNbFichiers->text());
    ui_->lblNbFichiers->setToolTip(QStringLiteral("Nombre de fichiers du Zip ouvert par un double clic"));
    ui_->File1->setToolTip(QStringLiteral("Double clic : ouvrir le Zip"));
    ui_->Dir1->setToolTip(QStringLiteral("Double clic : ouvrir le répertoire"));
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setFocusPolicy(Qt::StrongFocus);
    }
}

void kuvzipf2::Browse() {
    std::string archive, label;
    if (logic_->Busy() || !logic_->ChosenBackup(archive, label)) return;
    kuvzipbrowse browse(*environment_.dialog, *environment_.clock, logic_->DataFolder(), settings_.dataFolder,
                        environment_.programFolder, this);
    if (!browse.Logic().Open(archive, label)) return;
    browse.exec();
}

void kuvzipf2::Connect() {
    connect(ui_->Drive1, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i >= 0) logic_->DriveChange(i);
    });
    connect(ui_->Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { logic_->FolderChange(ui_->Dir1->row(item)); });
    connect(ui_->File1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { logic_->File1DoubleClick(ui_->File1->row(item)); });
    // The selection itself, whoever makes it (mouse, keys, a screen reader
    // or a test driver through the accessibility interface, which selects
    // without moving the current row).
    connect(ui_->List1, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = ui_->List1->selectedItems();
        if (!chosen.isEmpty()) logic_->List1Click(ui_->List1->row(chosen.front()));
    });
    connect(ui_->List2, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = ui_->List2->selectedItems();
        if (!chosen.isEmpty()) logic_->List2Click(ui_->List2->row(chosen.front()));
    });
    connect(ui_->Command1, &QPushButton::clicked, this, [this] { logic_->ToggleOneDrive(); });
    connect(ui_->Command8, &QPushButton::clicked, this, [this] { logic_->ToggleDropbox(); });
    connect(ui_->Command5, &QPushButton::clicked, this, [this] { logic_->RestoreWithStatusLine(); });
    connect(ui_->cdeExtraireTout, &QPushButton::clicked, this, [this] { logic_->Restore(); });
    connect(ui_->cdeExtraireUnFichier, &QPushButton::clicked, this, [this] { logic_->ExtractOneFile(); });
    connect(ui_->cmdLoadFileZ, &QPushButton::clicked, this, [this] { logic_->OpenOneFile(); });
    connect(ui_->cdeVoirComment, &QPushButton::clicked, this, [this] { logic_->ShowComment(); });
    connect(ui_->cdeVoirContenuZip, &QPushButton::clicked, this, [this] { logic_->ListMembers(); });
    connect(ui_->cdeParcourir, &QPushButton::clicked, this, [this] { Browse(); });
    connect(ui_->List1, &QListWidget::itemActivated, this, [this] { Browse(); });
    connect(ui_->List2, &QListWidget::itemActivated, this, [this] { Browse(); });
    connect(ui_->Command2, &QPushButton::clicked, this, [this] { logic_->Quit(); });
}

void kuvzipf2::closeEvent(QCloseEvent* event) {
    // MonZip is in use: the window stays until the operation ends.
    if (logic_->Busy()) {
        event->ignore();
        return;
    }
    if (!unloaded_) {
        unloaded_ = true;
        logic_->Unload();
    }
    QDialog::closeEvent(event);
}

void kuvzipf2::reject() {
    if (logic_->Busy()) return;
    if (!unloaded_) {
        unloaded_ = true;
        logic_->Unload();
    }
    QDialog::reject();
}

// ---- RestoreWindowView ----

void kuvzipf2::PlaceList2(int leftTwips, int topTwips) {
    const QRect r = ui_->List2->geometry();
    const int right = ui_->List1->geometry().right();
    const int bottom = ui_->List1->geometry().bottom();
    const int left = Px(leftTwips), top = Px(topTwips);
    ui_->List2->setGeometry(left, top, std::max(r.width(), right - left + 1), std::max(r.height(), bottom - top + 1));
}

void kuvzipf2::DressWindow() {
    DressWindowFrame(this);
    kuv::CentreWindow(this);
}

void kuvzipf2::SetButtonPictures() {
    ui_->Command5->setIcon(icc::p11Icon(icc::kRestore));
    ui_->Command2->setIcon(icc::p11Icon(icc::kQuit));
    ui_->Command8->setIcon(icc::p11Icon(icc::kDropbox));
    ui_->Command1->setIcon(icc::p11Icon(icc::kOneDrive));
    const int side = Px(360);
    for (QPushButton* b : {ui_->Command5, ui_->Command2, ui_->Command8, ui_->Command1}) b->setIconSize(QSize(side, side));
}

void kuvzipf2::ShowDrives(const std::vector<std::string>& texts, int selected) {
    const QSignalBlocker block(ui_->Drive1);
    ui_->Drive1->clear();
    for (const std::string& t : texts) ui_->Drive1->addItem(Q(t));
    ui_->Drive1->setCurrentIndex(selected);
}

void kuvzipf2::ShowFolders(const std::vector<restore::FolderItem>& items, int current) {
    const QSignalBlocker block(ui_->Dir1);
    ui_->Dir1->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    for (const restore::FolderItem& f : items) {
        auto* item = new QListWidgetItem(f.open ? open : closed, QString(f.depth * 2, QLatin1Char(' ')) + Q(f.label),
                                         ui_->Dir1);
        item->setToolTip(Q(f.path));
        item->setData(Qt::AccessibleTextRole, Q(f.label));
    }
    ui_->Dir1->setCurrentRow(current);
}

void kuvzipf2::ShowFiles(const std::vector<std::string>& names) {
    const QSignalBlocker block(ui_->File1);
    ui_->File1->clear();
    for (const std::string& n : names) ui_->File1->addItem(Q(n));
}

void kuvzipf2::ShowInfoFiles(const std::vector<std::string>& names) {
    ui_->File3->clear();
    for (const std::string& n : names) ui_->File3->addItem(Q(n));
}

void kuvzipf2::ShowList1(const std::vector<std::string>& entries, int selected) {
    FillList(ui_->List1, entries, selected);
}

void kuvzipf2::ShowList2(const std::vector<std::string>& entries, int selected) {
    FillList(ui_->List2, entries, selected);
}

void kuvzipf2::ShowCloudMode(bool cloud) {
    ui_->Drive1->setVisible(!cloud);
    ui_->Dir1->setVisible(!cloud);
    ui_->List1->setVisible(!cloud);
    ui_->File1->setVisible(!cloud);
    ui_->List2->setVisible(cloud);
    if (cloud) {
        ui_->List2->raise();
        ui_->List2->setFocus(Qt::OtherFocusReason);
    }
}

void kuvzipf2::SetModeMarker(const std::string& text) { ui_->Label10->setText(Q(text)); }

void kuvzipf2::SetChoice(const std::string& text) { ui_->Label3->setText(Q(text)); }

void kuvzipf2::SetStatus(const std::string& text) {
    ui_->Label2->setText(Q(text));
    if (ui_->Label2->isVisible()) ui_->Label2->repaint();
}

void kuvzipf2::SetMemberCount(const std::string& text) { ui_->lblNbFichiers->setText(Q(text)); }

void kuvzipf2::ShowStatusLine(bool shown) {
    ui_->Label3->setVisible(!shown);
    ui_->Label2->setVisible(shown);
}

void kuvzipf2::SetBusy(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QGuiApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

void kuvzipf2::ShowEngineError(const std::string& text) {
    QMessageBox box(QMessageBox::Critical, kTitle, Q(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ZipErrorBox"));
    box.exec();
}

void kuvzipf2::ShowComment(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, Q(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("CommentBox"));
    box.exec();
}

bool kuvzipf2::AskNumber(const std::string& prompt, const std::string& defaultAnswer, std::string& answer) {
    QInputDialog box(this);
    box.setObjectName(QStringLiteral("NumberBox"));
    box.setWindowTitle(kTitle);
    box.setLabelText(Q(prompt));
    box.setTextValue(Q(defaultAnswer));
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Annuler"));
    if (box.exec() != QDialog::Accepted) return false;
    answer = box.textValue().toStdString();
    return true;
}

void kuvzipf2::Beep() {
    if (BeepHook()) BeepHook()();
    else QApplication::beep();
}

void kuvzipf2::WriteDiagnostic(const std::string& line) { qCDebug(lcRestore).noquote() << Q(line); }

void kuvzipf2::CloseWindow() { close(); }

void OpenRestoreWindow(QWidget* parent, const RestoreWindowEnvironment& environment,
                       const backup::MainSettings& settings, const std::vector<platform::DriveEntry>& drives) {
    kuvzipf2 window(environment, settings, drives, parent);
    window.Load();
    // A completed restore ends the program: the window's loop ends with it.
    if (!window.Logic().Ended()) window.exec();
}

}  // namespace kuv
