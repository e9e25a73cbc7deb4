#include "restore/kuvzipbrowse_qt.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "platform/Files.h"

namespace kuv {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kSortRole = Qt::UserRole + 1;

// A cell sorted by its key (kSortRole): names without regard to case, sizes
// and dates by their numbers, not by the text shown.
class SortedItem : public QTableWidgetItem {
public:
    SortedItem(const QString& text, const QVariant& key) : QTableWidgetItem(text) { setData(kSortRole, key); }
    bool operator<(const QTableWidgetItem& other) const override {
        const QVariant a = data(kSortRole), b = other.data(kSortRole);
        if (a.typeId() == QMetaType::QString) return a.toString() < b.toString();
        return a.toLongLong() < b.toLongLong();
    }
};

// "512 o", "12,3 Ko", "4,5 Mo", "1,2 Go".
QString SizeText(std::uint64_t bytes) {
    static const char* const kUnits[] = {"Ko", "Mo", "Go", "To"};
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" o");
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return QLocale(QLocale::French).toString(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

}  // namespace

kuvzipbrowse::kuvzipbrowse(DialogPort& dialog, const backup::Clock& clock, const std::string& dataFolder,
                           const std::string& shownDataFolder, const std::string& programFolder,
                           QWidget* parent)
    : QDialog(parent),
      context_{*this, dialog, clock, dataFolder, shownDataFolder, this, programFolder, this, &launcher_} {
    setObjectName(QStringLiteral("kuvzipbrowse"));
    auto* layout = new QVBoxLayout(this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("Filtre"));
    filter_->setPlaceholderText(QStringLiteral("Rechercher un fichier"));
    filter_->setAccessibleName(QStringLiteral("Rechercher un fichier"));
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("Contenu"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Taille"), QStringLiteral("Date"),
                                       QStringLiteral("État")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The name takes the room; the other columns keep fixed widths (sizing
    // them to their contents would measure every row of a large backup).
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->setColumnWidth(1, 90);
    table_->setColumnWidth(2, 140);
    table_->setColumnWidth(3, 170);
    table_->verticalHeader()->hide();
    // First in the listing's order (the backup's members, then the data
    // folder's own files); a click on a column's title sorts by it.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    counts_ = new QLabel(this);
    counts_->setObjectName(QStringLiteral("Comptes"));
    restore_ = new QPushButton(Q(restore::kRestoreChosen), this);
    restore_->setObjectName(QStringLiteral("cdeRestaurerChoix"));
    auto* extractButton = new QPushButton(Q(restore::kExtractTo), this);
    extractButton->setObjectName(QStringLiteral("cdeExtraire"));
    open_ = new QPushButton(Q(restore::kOpenMember), this);
    open_->setObjectName(QStringLiteral("cdeOuvrir"));
    open_->setToolTip(QStringLiteral("Ouvre le fichier choisi avec son programme (une copie, pas celui du dossier des données)"));
    open_->setEnabled(false);
    auto* testButton = new QPushButton(Q(restore::kTestBackup), this);
    testButton->setObjectName(QStringLiteral("cdeTester"));
    auto* otherButton = new QPushButton(Q(restore::kOpenArchive), this);
    otherButton->setObjectName(QStringLiteral("cdeOuvrirArchive"));
    // Enter in the filter box presses none of them.
    for (QPushButton* b : {restore_, extractButton, open_, testButton, otherButton}) b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(restore_);
    buttons->addWidget(extractButton);
    buttons->addWidget(open_);
    buttons->addWidget(testButton);
    buttons->addStretch();
    buttons->addWidget(otherButton);
    layout->addWidget(filter_);
    layout->addWidget(table_);
    layout->addWidget(counts_);
    layout->addLayout(buttons);
    resize(860, 480);
    logic_ = std::make_unique<restore::BrowseLogic>(context_);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& t) { logic_->SetFilter(t.toStdString()); });
    connect(restore_, &QPushButton::clicked, this, [this] { logic_->RestoreChosen(Chosen()); });
    connect(extractButton, &QPushButton::clicked, this, [this] { logic_->ExtractChosen(Chosen()); });
    connect(open_, &QPushButton::clicked, this, [this] { logic_->OpenChosen(Chosen()); });
    connect(testButton, &QPushButton::clicked, this, [this] { logic_->TestBackup(); });
    connect(otherButton, &QPushButton::clicked, this, [this] { logic_->PickAndOpenOther(); });
    // The selection itself, however it is made, tells whether "Ouvrir" can
    // be pressed; a double click on a member opens it.
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { FollowSelection(); });
    connect(table_, &QTableWidget::itemDoubleClicked, this, [this](QTableWidgetItem* item) {
        const std::vector<std::string> one{table_->item(item->row(), 0)->data(Qt::UserRole).toString().toStdString()};
        if (logic_->CanOpen(one)) logic_->OpenChosen(one);
    });
    // The rows "à vérifier" are settled one at a time on idle time: the
    // window answers meanwhile.
    settle_ = new QTimer(this);
    settle_->setInterval(0);
    connect(settle_, &QTimer::timeout, this, [this] {
        if (!logic_->SettleNext()) settle_->stop();
    });
}

kuvzipbrowse::~kuvzipbrowse() = default;

void kuvzipbrowse::UsePorts(restore::FolderPicker* folders, restore::ArchivePicker* archives,
                            backup::ProgramLauncher* launcher) {
    context_.folders = folders ? folders : this;
    context_.archives = archives ? archives : this;
    context_.launcher = launcher ? launcher : &launcher_;
    logic_ = std::make_unique<restore::BrowseLogic>(context_);
}

void kuvzipbrowse::FollowSelection() { open_->setEnabled(logic_->CanOpen(Chosen())); }

// The selection itself, however it was made.
std::vector<std::string> kuvzipbrowse::Chosen() const {
    std::vector<std::string> chosen;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows(0))
        if (const QTableWidgetItem* item = table_->item(index.row(), 0))
            chosen.push_back(item->data(Qt::UserRole).toString().toStdString());
    return chosen;
}

std::string kuvzipbrowse::PickFolder(const std::string& start) {
    // The offered folder may not exist yet: the dialog then opens on the
    // folder that would hold it.
    const QString chosen = QFileDialog::getExistingDirectory(
        this, Q(restore::kExtractTo), Q(platform::PathExists(start) ? start : platform::FolderOf(start)));
    return chosen.toStdString();
}

std::string kuvzipbrowse::PickArchive(const std::string& start, const std::string& filter) {
    return QFileDialog::getOpenFileName(this, Q(restore::kOpenArchive), Q(start), Q(filter)).toStdString();
}

void kuvzipbrowse::SetTitle(const std::string& title) { setWindowTitle(Q(title)); }

void kuvzipbrowse::ShowComparedWithFolder(bool compared) {
    // Another listing: nothing chosen in it yet.
    table_->clearSelection();
    table_->setColumnHidden(3, !compared);
    restore_->setEnabled(compared);
    restore_->setToolTip(compared ? QString()
                                  : QStringLiteral("Seules les sauvegardes de la liste se restaurent dans le dossier "
                                                   "des données"));
}

void kuvzipbrowse::ShowRows(const std::vector<const restore::ComparedFile*>& rows) {
    // The user's choice stays on the same files (those still shown) when the
    // table is filled again: after the filter changes, a row settled, or a
    // restore.
    std::set<std::string> chosen;
    for (const std::string& path : Chosen()) chosen.insert(path);
    const QSignalBlocker quiet(table_->selectionModel());
    table_->clearSelection();
    table_->setSortingEnabled(false);
    table_->setRowCount(static_cast<int>(rows.size()));
    bool toCheck = false;
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const restore::ComparedFile& f = *rows[static_cast<size_t>(r)];
        const QString path = Q(f.path);
        auto* name = new SortedItem(path, path.toCaseFolded());
        name->setData(Qt::UserRole, path);
        name->setToolTip(path);
        table_->setItem(r, 0, name);
        auto* size = new SortedItem(SizeText(f.size), static_cast<qlonglong>(f.size));
        size->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(r, 1, size);
        const platform::LocalDateTime d = platform::ToLocalDateTime(f.modified);
        table_->setItem(r, 2, new SortedItem(QString::asprintf("%02d/%02d/%04d %02d:%02d:%02d", d.day, d.month, d.year,
                                                               d.hour, d.minute, d.second),
                                             static_cast<qlonglong>(f.modified)));
        const QString state = Q(restore::StateText(f.state));
        table_->setItem(r, 3, new SortedItem(state, state));
        toCheck = toCheck || f.state == restore::FileState::ToCheck;
    }
    table_->setSortingEnabled(true);
    if (!chosen.empty()) {
        for (int r = 0; r < table_->rowCount(); ++r)
            if (chosen.count(table_->item(r, 0)->data(Qt::UserRole).toString().toStdString()))
                table_->selectionModel()->select(table_->model()->index(r, 0),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    FollowSelection();
    if (toCheck && !settle_->isActive()) settle_->start();
}

void kuvzipbrowse::ShowCounts(const std::string& counts) { counts_->setText(Q(counts)); }

}  // namespace kuv
