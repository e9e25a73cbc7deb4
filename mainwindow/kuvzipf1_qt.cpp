// The main window kuvzipf1.

#include "mainwindow/kuvzipf1_qt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/WindowColours.h"
#include "operations/CopyCommands.h"
#include "operations/ProgramFiles.h"
#include "platform/Files.h"
#include "ui/ImageStore_qt.h"
#include "ui/LogCategories.h"
#include "ui/WindowHelpers_qt.h"
#include "ui_kuvzipf1.h"

namespace kuv {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const char* const kLampCaptions[4] = {"Compression des fichiers", "Copie sur le support",
                                      "Attendez que le voyant arrête de clignoter", "Sauvegarde terminée"};

// Frame1's place, in twips.
constexpr int kFrame1Left = 270;
constexpr int kFrame1Top = 6705;
// Picture1's place when a backup was requested, in twips.
constexpr int kPicture1Left = 300;
constexpr int kPicture1Top = 6540;
// The gauge's place and scale, in twips.
constexpr int kGaugeLeft = 540;
constexpr int kGaugeTop = 4320;
constexpr int kGaugeWidth = 3600;

// Opens the maker's page when the logo is clicked.
class LogoClick : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            OpenMakerPage();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

void SetBackground(QWidget* widget, int red, int green, int blue) {
    QPalette palette = widget->palette();
    const QColor colour(red, green, blue);
    palette.setColor(QPalette::Window, colour);
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Button, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

kuvzipf1::kuvzipf1(const MainWindowEnvironment& environment, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::kuvzipf1>()), environment_(environment) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("kuvzipf1"));
    setWindowTitle(QStringLiteral("Kuv-Zip"));
    setWindowIcon(QIcon(icc::logoc()));

    const char* names[5] = {"Timer1", "Timer111", "Timer2", "Timer3", "DriveWatch"};
    for (size_t i = 0; i < timers_.size(); ++i) {
        timers_[i] = new QTimer(this);
        timers_[i]->setObjectName(QString::fromLatin1(names[i]));
        timers_[i]->setSingleShot(true);
        const auto id = static_cast<backup::TimerId>(i);
        connect(timers_[i], &QTimer::timeout, this, [this, id] { logic_->OnTimer(id); });
    }

    PlaceControls();
    // The layout is absolute: the window keeps its designed size, so that no
    // resizing can cut off its buttons.
    setFixedSize(size());
    // The gauge kuvbbf under "Sauvegarder les DONNEES": 3600 twips of scale.
    gauge_ = new backup::GaugeWidget(this, Px(kGaugeWidth));
    gauge_->move(Px(kGaugeLeft), Px(kGaugeTop));
    SetAccessibleTexts();

    QFont title = ui_->Label2->font();
    title.setPointSizeF(title.pointSizeF() * 1.5);
    title.setBold(true);
    ui_->Label2->setFont(title);
    QFont status = ui_->Label5->font();
    status.setBold(true);
    ui_->Label5->setFont(status);
    QPalette statusPalette = ui_->Label5->palette();
    statusPalette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    ui_->Label5->setPalette(statusPalette);
    QFont button = ui_->Command1->font();
    button.setBold(true);
    ui_->Command1->setFont(button);
    QFont small = ui_->Label16->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    ui_->Label16->setFont(small);
    ui_->Label11->setFont(button);
    ui_->Label19->setFont(button);
    SetBackground(ui_->Picture1, 255, 255, 224);
    SetBackground(ui_->Frame1, 255, 255, 224);

    ui_->logoc->setPixmap(icc::logoc(ui_->logoc->size()));
    for (int lamp = 0; lamp < 4; ++lamp) SetLamp(lamp, backup::kLampOff);

    backup::MainWindowContext context{*this,
                                      *this,
                                      *environment_.dialog,
                                      *environment_.clock,
                                      *environment_.pump,
                                      *this,
                                      *environment_.specialFolders,
                                      *environment_.drives,
                                      *environment_.launcher,
                                      *environment_.end,
                                      environment_.workingFolder,
                                      environment_.notifier ? *environment_.notifier : noNotifier_};
    context.unattendedDialogMs = environment_.unattendedDialogMs;
    logic_ = std::make_unique<backup::MainWindowLogic>(context);
    // File2 lists the folder that is current when the window is made.
    ShowProgramFiles(platform::RegularFileNames(platform::CurrentFolder()));
    Connect();
}

kuvzipf1::~kuvzipf1() {
    for (QTimer* timer : timers_) timer->stop();
}

void kuvzipf1::Load() { logic_->Startup(); }

void kuvzipf1::closeEvent(QCloseEvent* event) {
    if (logic_->BackupInProgress()) {
        event->ignore();
        logic_->WhenBackupEnds(backup::kCommandCloseWindow, [this] { close(); });
        return;
    }
    QWidget::closeEvent(event);
}

QTimer* kuvzipf1::Timer(backup::TimerId timer) const { return timers_.at(static_cast<size_t>(timer)); }

int kuvzipf1::Px(double twips) const { return static_cast<int>(WidgetTwipsToPixels(this, twips) + 0.5); }

// The form is designed at 96 dpi (15 twips to a pixel); every geometry is
// taken back to twips and converted for the screen's logical dpi.
void kuvzipf1::PlaceControls() {
    const QRect window = geometry();
    resize(Px(window.width() * 15.0), Px(window.height() * 15.0));
    const QList<QWidget*> children = findChildren<QWidget*>();
    for (QWidget* child : children) {
        const QRect r = child->geometry();
        child->setGeometry(Px(r.x() * 15.0), Px(r.y() * 15.0), Px(r.width() * 15.0), Px(r.height() * 15.0));
    }
}

void kuvzipf1::SetAccessibleTexts() {
    ui_->Label1->setBuddy(ui_->Combo1);
    ui_->Label12->setBuddy(ui_->Text1);
    ui_->Label20->setBuddy(ui_->File1);
    ui_->Label21->setBuddy(ui_->List1);
    ui_->Label22->setBuddy(ui_->List2);
    ui_->Combo1->setAccessibleName(ui_->Label1->text().trimmed());
    ui_->Text1->setAccessibleName(ui_->Label12->text());
    ui_->File1->setAccessibleName(ui_->Label20->text());
    ui_->List1->setAccessibleName(ui_->Label21->text());
    ui_->List2->setAccessibleName(ui_->Label22->text());
    // Labels that show a value read it out as their name; their caption is
    // their description.
    ui_->Label10->setAccessibleDescription(ui_->Label9->text());
    ui_->Label3->setAccessibleDescription(ui_->Label13->text());
    ui_->Label18->setAccessibleDescription(QStringLiteral("Dossier d'échange"));
    ui_->logoc->setAccessibleName(QStringLiteral("Logo"));
    ui_->Picture1->setAccessibleName(ui_->Label11->text());
    ui_->Frame1->setAccessibleName(ui_->Label19->text());
    ui_->Label23->setBuddy(ui_->File2);
    ui_->Label24->setBuddy(ui_->File3);
    ui_->File2->setAccessibleName(ui_->Label23->text());
    ui_->File3->setAccessibleName(ui_->Label24->text());
    ui_->Label17->setAccessibleDescription(QStringLiteral("Nom de la copie"));
    for (QPushButton* b : {ui_->Command1, ui_->Command2, ui_->Command3, ui_->Command4, ui_->Command5, ui_->Command6,
                           ui_->Command7, ui_->Command8, ui_->Command9, ui_->Command10, ui_->Command11}) {
        b->setAccessibleName(b->text());
        b->setFocusPolicy(Qt::StrongFocus);
        b->setAutoDefault(true);  // Enter presses the focused button
    }
    ui_->File1->setFocusPolicy(Qt::StrongFocus);
    ui_->File2->setFocusPolicy(Qt::StrongFocus);
    ui_->File3->setFocusPolicy(Qt::StrongFocus);
    ui_->Command8->setToolTip(QString::fromUtf8(operations::kDropboxTip));
    ui_->Command9->setToolTip(QString::fromUtf8(operations::kOneDriveTip));
    ui_->Command11->setToolTip(QString::fromUtf8(operations::kFolderTip));
    ui_->Command4->setToolTip(QString::fromUtf8(operations::kZipMailTip));
    ui_->Command6->setToolTip(QString::fromUtf8(operations::kProgramButtonTip));
    ui_->Command7->setToolTip(QString::fromUtf8(operations::kProgramButtonTip));
    ui_->List1->setFocusPolicy(Qt::StrongFocus);
    ui_->List2->setFocusPolicy(Qt::StrongFocus);
    ui_->Command1->setToolTip(QStringLiteral("Sauvegarder le répertoire sur le support choisi"));
}

void kuvzipf1::Connect() {
    connect(ui_->Command1, &QPushButton::clicked, this, [this] { logic_->BackupClicked(); });
    connect(ui_->Command2, &QPushButton::clicked, this, [this] { logic_->Quit(); });
    connect(ui_->Command3, &QPushButton::clicked, this, [this] { logic_->Configure(); });
    // The restore window reads the archives of the medium a backup may be
    // writing: it opens once the backup has ended.
    connect(ui_->Command5, &QPushButton::clicked, this, [this] {
        logic_->WhenBackupEnds(backup::kCommandRestore, [this] {
            if (environment_.openRestoreWindow)
                environment_.openRestoreWindow(this, logic_->Settings(), logic_->DriveList());
        });
    });
    ui_->Command5->setIcon(icc::p11Icon(icc::kRestore));
    ui_->logoc->installEventFilter(new LogoClick(ui_->logoc));
    ui_->logoc->setCursor(Qt::PointingHandCursor);
    ui_->logoc->setToolTip(QStringLiteral("Ouvrir la page du fabricant"));
    connect(ui_->Command4, &QPushButton::clicked, this, [this] { logic_->ZipMail(); });
    connect(ui_->Command6, &QPushButton::clicked, this, [this] { logic_->BackupProgramFiles(); });
    connect(ui_->Command7, &QPushButton::clicked, this, [this] { logic_->RestoreProgramFiles(); });
    connect(ui_->Command8, &QPushButton::clicked, this,
            [this] { logic_->CopyTo(operations::CopyTarget::Dropbox); });
    connect(ui_->Command9, &QPushButton::clicked, this,
            [this] { logic_->CopyTo(operations::CopyTarget::OneDrive); });
    connect(ui_->Command10, &QPushButton::clicked, this, [this] { logic_->RequestExchangeFolder(); });
    connect(ui_->Command11, &QPushButton::clicked, this,
            [this] { logic_->CopyTo(operations::CopyTarget::Folder); });
    // Combo1's click: raised by every choice of the user, the entry already
    // selected included (activated, not currentIndexChanged), so that
    // picking the same destination again clears Label5 too.
    connect(ui_->Combo1, &QComboBox::activated, this, [this](int index) {
        if (index >= 0) logic_->DestinationClicked(index);
    });
}

// ---- MainWindowView ----

void kuvzipf1::DressWindow() {
    DressWindowFrame(this);
    ui_->Command2->setIcon(icc::p11Icon(icc::kQuit));
    ui_->Command9->setIcon(icc::p11Icon(icc::kOneDrive));
    ui_->Command1->setIcon(icc::p11Icon(icc::kLampOn));
    ui_->Command8->setIcon(icc::p11Icon(icc::kDropbox));
    ui_->Command11->setIcon(icc::p11Icon(icc::kFolder));
    ui_->Command10->setIcon(icc::p11Icon(icc::kAssignFolder));
    ui_->Command4->setIcon(icc::p11Icon(icc::kZipMail));
    ui_->Command6->setIcon(icc::p11Icon(icc::kSavePrograms));
    ui_->Command7->setIcon(icc::p11Icon(icc::kRestorePrograms));
    const int iconSide = Px(360);
    for (QPushButton* b : {ui_->Command1, ui_->Command2}) b->setIconSize(QSize(iconSide, iconSide));
    const int smallSide = Px(300);
    for (QPushButton* b : {ui_->Command4, ui_->Command6, ui_->Command7, ui_->Command8, ui_->Command9, ui_->Command10,
                           ui_->Command11}) {
        b->setIconSize(QSize(smallSide, smallSide));
    }
    ui_->Frame1->move(Px(kFrame1Left), Px(kFrame1Top));
    const QString logoFile = QDir(Q(environment_.workingFolder)).filePath(QStringLiteral("fc_img_024.gif"));
    if (!icc::LoadLogo(logoFile)) {
        if (QFileInfo::exists(logoFile)) {
            qCWarning(lcStartup).noquote() << "cannot read the logo" << logoFile << "- the program's own is shown";
        } else {
            qCInfo(lcStartup).noquote() << "no logo" << logoFile << "- the program's own is shown";
        }
    }
    ui_->logoc->setPixmap(icc::logoc(ui_->logoc->size()));
}

void kuvzipf1::CentreWindow() { kuv::CentreWindow(this); }

void kuvzipf1::SetWindowWidthTwips(int width) {
    setFixedWidth(Px(width));
    // The frame follows the narrowed window, so that it stays closed on the right.
    if (findChild<QLabel*>(CcbPieceName(0))) DressWindowFrame(this);
}

void kuvzipf1::SetDataFolderText(const std::string& text) { ui_->Label10->setText(Q(text)); }

void kuvzipf1::SetLastBackupText(const std::string& text) { ui_->Label15->setText(Q(text)); }

void kuvzipf1::SetLastBackupBackground(int red, int green, int blue) {
    SetBackground(ui_->Label15, red, green, blue);
    // The colour's meaning in words, for assistive technology and the tooltip.
    const backup::Rgb colour{red, green, blue};
    QString meaning;
    if (colour == backup::kAgeRecent) {
        meaning = QStringLiteral("Sauvegarde récente (moins de 2 jours)");
    } else if (colour == backup::kAgeAging) {
        meaning = QStringLiteral("Sauvegarde de plus de 2 jours");
    } else if (colour == backup::kAgeOld) {
        meaning = QStringLiteral("Sauvegarde de 5 jours ou plus");
    }
    ui_->Label15->setAccessibleDescription(meaning);
    ui_->Label15->setToolTip(meaning);
}

void kuvzipf1::SetTitle(const std::string& text) { ui_->Label2->setText(Q(text)); }

void kuvzipf1::ShowRequestPanel() {
    ui_->Picture1->move(Px(kPicture1Left), Px(kPicture1Top));
    ui_->Picture1->setVisible(true);
    ui_->Picture1->raise();
}

void kuvzipf1::HideRequestPanel() { ui_->Picture1->setVisible(false); }

void kuvzipf1::ShowTransferButton() {
    ui_->Command9->setIcon(icc::p11Icon(icc::kTransfer));
    ui_->Command9->setText(QStringLiteral("Transfert"));
    ui_->Command9->setAccessibleName(QStringLiteral("Transfert"));
    ui_->Command9->setToolTip(QStringLiteral("Transfert avec Korrin"));
}

void kuvzipf1::ShowExchangeFolder(const std::string& folder) {
    ui_->Combo1->setVisible(false);
    ui_->Label18->setText(Q(folder));
    ui_->Label18->setVisible(true);
    ui_->Command11->setEnabled(true);
}

void kuvzipf1::ShowDestinationFolder(const std::string& path) { ui_->Text1->setText(Q(path)); }

void kuvzipf1::ClearDestinations() {
    const QSignalBlocker block(ui_->Combo1);
    ui_->Combo1->clear();
}

void kuvzipf1::AddDestination(const std::string& text, int picture) {
    const QSignalBlocker block(ui_->Combo1);
    ui_->Combo1->addItem(QIcon(icc::Image1(picture, 16)), Q(text), picture);
}

void kuvzipf1::SelectDestination(int index) {
    const QSignalBlocker block(ui_->Combo1);
    ui_->Combo1->setCurrentIndex(index);
}

void kuvzipf1::SetDestinationBackground(int red, int green, int blue) {
    ui_->Combo1->setStyleSheet(
        QStringLiteral("QComboBox { background-color: rgb(%1, %2, %3); color: black; }").arg(red).arg(green).arg(blue));
    ui_->Combo1->setProperty("backgroundColour", QColor(red, green, blue));
}

void kuvzipf1::ShowDrivePicture(int picture) {
    drivePicture_ = picture;
    ui_->Image11->setPixmap(icc::Image1(picture, ui_->Image11->width()));
    ui_->Image11->setAccessibleName(icc::Image1Name(picture));
}

void kuvzipf1::SetStatus(const std::string& text) { ui_->Label5->setText(Q(text)); }

void kuvzipf1::FocusText1() {
    if (!isVisible()) return;
    // A user stepping through the closed list with the arrow keys keeps the
    // focus on it; a choice made in the opened list moves it on to Text1.
    if (focusWidget() == ui_->Combo1 && !ui_->Combo1->view()->isVisible()) return;
    ui_->Text1->setFocus(Qt::OtherFocusReason);
}

int kuvzipf1::SelectedDestinationIndex() const { return ui_->Combo1->currentIndex(); }

std::string kuvzipf1::SelectedDestinationText() const { return ui_->Combo1->currentText().toStdString(); }

void kuvzipf1::ClearSavedList() { ui_->List1->clear(); }

void kuvzipf1::AddSavedFile(const std::string& name) {
    ui_->List1->addItem(Q(name));
    ui_->List1->scrollToBottom();
}

void kuvzipf1::ClearIgnoredList() { ui_->List2->clear(); }

void kuvzipf1::AddIgnoredFile(const std::string& name) {
    ui_->List2->addItem(Q(name));
    ui_->List2->scrollToBottom();
}

void kuvzipf1::SetAddedCounter(const std::string& text) { ui_->Label3->setText(Q(text)); }

void kuvzipf1::SetLamp(int lamp, int picture) {
    if (lamp < 0 || lamp > 3) return;
    lampPictures_[static_cast<size_t>(lamp)] = picture;
    QLabel* image = findChild<QLabel*>(QStringLiteral("Image1_%1").arg(lamp));
    if (!image) return;
    image->setPixmap(icc::p11(picture, image->width()));
    image->setAccessibleName(QString::fromUtf8(kLampCaptions[lamp]) + QStringLiteral(" : ") + icc::p11Name(picture));
}

void kuvzipf1::ShowDataFolderFiles(const std::string& /*folderText*/, const std::vector<std::string>& names) {
    ui_->File1->clear();
    for (const std::string& name : names) ui_->File1->addItem(Q(name));
}

// ---- OperationsView ----

void kuvzipf1::ShowProgramFiles(const std::vector<std::string>& names) {
    ui_->File2->clear();
    for (const std::string& name : names) ui_->File2->addItem(Q(name));
}

void kuvzipf1::ShowSavedProgramFiles(const std::string& /*folder*/, const std::vector<std::string>& names) {
    ui_->File3->clear();
    for (const std::string& name : names) ui_->File3->addItem(Q(name));
}

void kuvzipf1::SetBusyPointer(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyPointers_;
    } else if (busyPointers_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyPointers_;
    }
}

void kuvzipf1::SetCopyNameText(const std::string& text) { ui_->Label17->setText(Q(text)); }

void kuvzipf1::ShowAutomaticCopyPanel(bool shown) {
    ui_->Frame1->setVisible(shown);
    if (shown) ui_->Frame1->raise();
}

// ---- BackupGauge ----

void kuvzipf1::InitGauge(int steps) { backup::InitGauge(*gauge_, steps); }

void kuvzipf1::StepGauge() { backup::StepGauge(*gauge_); }

void kuvzipf1::SetGaugeText(const std::string& text) { gauge_->SetGaugeLabel(text); }

// ---- TimerPort ----

void kuvzipf1::Arm(backup::TimerId timer, int milliseconds) {
    QTimer* t = Timer(timer);
    if (milliseconds <= 0) {
        t->stop();
    } else {
        t->start(milliseconds);
    }
}

}  // namespace kuv
