// The developer test panel's tool window.

#include "testpanel/testpanel_qt.h"

#include <QGuiApplication>
#include <algorithm>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include "mainwindow/kuvzipf1_qt.h"
#include "platform/Files.h"
#include "platform/FolderTree.h"
#include "ui_testpanel.h"

Q_LOGGING_CATEGORY(lcTestPanel, "kuvzip.testpanel")

namespace kuv {

namespace {

const QKeySequence kToggleKeys(Qt::CTRL | Qt::SHIFT | Qt::Key_T);

}  // namespace

TestPanelFolders ProgramTestPanelFolders() {
    TestPanelFolders folders;
    folders.currentFolder = platform::CurrentFolder();
    folders.programFolder = platform::ProgramFolder();
    folders.archiveFolder = platform::WritableProgramFolder();
    return folders;
}

void MainWindowRestorePort::OpenModal() {
    backup::MainWindowLogic& main = mainWindow_.Logic();
    open_(&mainWindow_, main.Settings(), main.DriveList());
}

TestPanelWindow::TestPanelWindow(kuvzipf1& mainWindow, testpanel::RestoreWindowPort* restore,
                                 TestPanelFolders folders)
    : QWidget(&mainWindow, Qt::Tool), ui_(std::make_unique<Ui::testpanel>()), mainWindow_(mainWindow),
      boxes_(this) {
    ui_->setupUi(this);
    setObjectName(QStringLiteral("testpanel"));
    // The controls' names as the program knows them (uic wants ASCII names).
    ui_->cdeAjouterSansRepertoire->setObjectName(QStringLiteral("cdeAjouterSansRépertoire"));
    ui_->cdeAjouterAvecRepertoires->setObjectName(QStringLiteral("cdeAjouterAvecRépertoires"));
    ui_->cdeAjouterAvecRepertoiresRelatifs->setObjectName(QStringLiteral("cdeAjouterAvecRépertoiresRelatifs"));
    ui_->lblJournal->setBuddy(ui_->lstJournal);
    ui_->lstJournal->setAccessibleName(ui_->lblJournal->text());
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
        b->setAutoDefault(true);
    }
    setVisible(false);

    backup::MainWindowLogic& main = mainWindow.Logic();
    testpanel::TestPanelContext context{*this, boxes_, [&main] { return main.Engine(); },
                                        [&main] {
                                            const std::string& data = main.Settings().dataFolder;
                                            return data.empty() ? std::string()
                                                                : platform::ResolveDrivePath(data, main.DriveList());
                                        },
                                        [&main] { return main.DriveList(); }, folders.currentFolder,
                                        folders.programFolder, folders.archiveFolder, restore};
    logic_ = std::make_unique<testpanel::TestPanelLogic>(std::move(context));
    Connect();
}

TestPanelWindow::~TestPanelWindow() = default;

void TestPanelWindow::Connect() {
    using L = testpanel::TestPanelLogic;
    const std::pair<QPushButton*, void (L::*)()> actions[] = {
        {ui_->cdeAjouterSansRepertoire, &L::AddWithoutFolders},
        {ui_->cdeAjouterAvecRepertoires, &L::AddWithFullPaths},
        {ui_->cdeAjouterAvecRepertoiresRelatifs, &L::AddWithRelativePaths},
        {ui_->cdeCombien, &L::ShowCount},
        {ui_->cdeListeFichiers, &L::ShowList},
        {ui_->CdeSupp, &L::RemoveFromSelection},
        {ui_->CmdConceptYB, &L::CreateStreaming},
        {ui_->CmdAjZip, &L::AddIntoArchive},
        {ui_->cmdSu, &L::RemoveFromArchive},
        {ui_->CdeUZip, &L::OpenRestoreWindow},
    };
    // The buttons drive the main window's engine: while a backup is in
    // progress they wait for its end, and the main window's commands wait
    // for them.
    for (const auto& [button, action] : actions) {
        auto method = action;
        const std::string name = button->objectName().toStdString();
        connect(button, &QPushButton::clicked, this, [this, method, name] {
            mainWindow_.Logic().RunEngineCommand(name, [this, method] { ((*logic_).*method)(); });
        });
    }
    // Ctrl+Shift+T on the main window toggles the panel; a tool window takes
    // its parent window's shortcuts, so the same keys work on the panel (a
    // second shortcut there would make the keys ambiguous).
    auto* shortcut = new QShortcut(kToggleKeys, &mainWindow_);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &TestPanelWindow::Toggle);
}

void TestPanelWindow::PlaceBesideMainWindow() {
    // To the right of the main window (whose size stays fixed), else to its
    // left; on a screen too narrow for both, over the main window's right
    // part, ending above Label5 so that the buttons' outcome stays in sight.
    const QRect main = mainWindow_.frameGeometry();
    QScreen* screen = mainWindow_.screen() ? mainWindow_.screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : main.united(QRect(main.topRight(), size()));
    const int gap = 8;
    QPoint at(main.right() + gap, main.top());
    if (at.x() + width() > area.right()) {
        at.setX(main.left() - gap - width());
        if (at.x() < area.left()) {
            at.setX(main.right() - width());
            if (const QLabel* label5 = mainWindow_.findChild<QLabel*>(QStringLiteral("Label5"))) {
                const int above = label5->mapToGlobal(QPoint(0, 0)).y() - gap - at.y();
                if (above >= minimumSizeHint().height()) resize(width(), std::min(height(), above));
            }
        }
    }
    at.setX(std::max(area.left(), std::min(at.x(), area.right() - width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() - height())));
    move(at);
}

void TestPanelWindow::Toggle() {
    if (isVisible()) {
        hide();
        return;
    }
    if (!placed_) {
        PlaceBesideMainWindow();
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
}

void TestPanelWindow::SetStatus(const std::string& text) { mainWindow_.SetStatus(text); }

void TestPanelWindow::AddJournalLine(const std::string& line) {
    qCInfo(lcTestPanel).noquote() << QString::fromStdString(line);
    ui_->lstJournal->addItem(QString::fromStdString(line));
    ui_->lstJournal->scrollToBottom();
}

}  // namespace kuv
