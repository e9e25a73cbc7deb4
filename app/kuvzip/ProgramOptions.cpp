#include "ProgramOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <vector>

Q_LOGGING_CATEGORY(lcOptions, "kuvzip.startup")

namespace kuv::app {

namespace {

struct OptionRow {
    QStringList names;    // short names first: "h", "help"
    QString valueName;    // empty: the option takes no value
    QString description;  // French, one line
};

// The program's options, in the order --help shows them.
const std::vector<OptionRow>& OptionTable() {
    static const std::vector<OptionRow> rows = {
        {{"h", "help"}, {}, QStringLiteral("affiche cette aide et termine")},
        {{"version"}, {}, QStringLiteral("affiche la version et termine")},
        {{"rappel"}, QStringLiteral("DOSSIER"),
         QStringLiteral("notifie, sans fenêtre, l'absence de sauvegarde récente de DOSSIER")},
    };
    return rows;
}

QString OptionLabel(const OptionRow& row) {
    QStringList shown;
    for (const QString& name : row.names) shown << (name.size() == 1 ? "-" : "--") + name;
    QString label = shown.join(QStringLiteral(", "));
    if (!row.valueName.isEmpty()) label += ' ' + row.valueName;
    return label;
}

// The name of an option token ("--name=value", "-name"); empty when the
// token is not an option.
QString OptionName(const QString& token) {
    if (token.size() < 2 || !token.startsWith('-')) return {};
    QString name = token.mid(token.startsWith(QStringLiteral("--")) ? 2 : 1);
    return name.left(name.indexOf('='));
}

const OptionRow* FindOption(const QString& name) {
    for (const OptionRow& row : OptionTable())
        if (!name.isEmpty() && row.names.contains(name)) return &row;
    return nullptr;
}

}  // namespace

ProgramOptions ParseProgramOptions(const QStringList& arguments) {
    ProgramOptions options;
    // A known option given a value it does not take ("--version=2") is not
    // understood: it is ignored rather than obeyed.
    QStringList kept;
    bool optionsEnded = false;
    for (const QString& token : arguments) {
        if (token == QStringLiteral("--")) optionsEnded = true;
        const OptionRow* row = optionsEnded ? nullptr : FindOption(OptionName(token));
        if (row && row->valueName.isEmpty() && token.contains('='))
            options.ignored << token;
        else
            kept << token;
    }

    QCommandLineParser parser;
    // "-help" is "--help", not "-h -e -l -p"; Qt's own options (-platform
    // ...) then read as one unknown name each.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow& row : OptionTable())
        parser.addOption(QCommandLineOption(row.names, row.description, row.valueName));
    // False for any argument not understood; what was understood still counts.
    parser.parse(kept);
    if (parser.isSet(QStringLiteral("help")))
        options.mode = ProgramMode::Help;
    else if (parser.isSet(QStringLiteral("version")))
        options.mode = ProgramMode::Version;
    else if (parser.isSet(QStringLiteral("rappel"))) {
        options.mode = ProgramMode::Reminder;
        options.reminderFolder = parser.value(QStringLiteral("rappel"));
    }

    const QStringList unknown = parser.unknownOptionNames();
    const QStringList positional = parser.positionalArguments();
    optionsEnded = false;
    for (qsizetype i = 1; i < kept.size(); ++i) {
        const QString& token = kept[i];
        if (!optionsEnded && token == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        const QString name = optionsEnded ? QString() : OptionName(token);
        if (name.isEmpty() ? positional.contains(token) : unknown.contains(name)) options.ignored << token;
    }
    // In the order given.
    QStringList inOrder;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (options.ignored.contains(arguments[i]) && !inOrder.contains(arguments[i])) inOrder << arguments[i];
    options.ignored = inOrder;
    return options;
}

QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QString ProgramHelpText() {
    QString text = QStringLiteral(
        "Utilisation : kuvzip [OPTION]\n"
        "Kuv-Zip sauvegarde le dossier de données d'un logiciel de gestion en archives ZIP datées\n"
        "et les restaure. Sans option, il ouvre sa fenêtre dans le dossier courant, qui contient\n"
        "Kuv-Zip.ini et le fichier de liaison W_intlog.wdo ; un argument inconnu est signalé\n"
        "puis ignoré.\n\nOptions :\n");
    int width = 0;
    for (const OptionRow& row : OptionTable()) width = std::max(width, int(OptionLabel(row).size()));
    for (const OptionRow& row : OptionTable())
        text += QStringLiteral("  %1  %2\n").arg(OptionLabel(row), -width).arg(row.description);
    text += QStringLiteral("\nVoir aussi : man kuvzip\n");
    return text;
}

QString ProgramVersionText() { return QStringLiteral("kuvzip (Kuv-Zip) " KUVZIP_VERSION "\n"); }

int AnswerWithoutWindow(const ProgramOptions& options) {
    QString text;
    switch (options.mode) {
    case ProgramMode::Help: text = ProgramHelpText(); break;
    case ProgramMode::Version: text = ProgramVersionText(); break;
    case ProgramMode::Window:
    case ProgramMode::Reminder: return -1;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

void LogIgnoredArguments(const ProgramOptions& options, const QStringList& left) {
    for (const QString& argument : options.ignored)
        if (left.contains(argument)) qCWarning(lcOptions).noquote() << "argument inconnu ignoré :" << argument;
}

}  // namespace kuv::app
