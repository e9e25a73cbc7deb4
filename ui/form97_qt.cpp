#include "ui/form97_qt.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "ui/ImageStore_qt.h"
#include "ui/WindowHelpers_qt.h"
#include "ui_form97.h"

namespace kuv {

namespace {

std::function<void()>& Beep() {
    static std::function<void()> beep = [] { QApplication::beep(); };
    return beep;
}

DialogKey KeyOf(const QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return DialogKey::Enter;
        case Qt::Key_Escape:
            return DialogKey::Escape;
        default:
            return DialogKey::Other;
    }
}

// A key that types text into the field (not a shortcut, not a control key).
bool IsTyping(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString text = event->text();
    if (text.isEmpty()) return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return false;
    }
    return true;
}

const char* kStyle = R"(
QDialog#form97 { background-color: #EEF3F8; }
QFrame#Shape1 { background-color: #FFFFFF; border: 1px solid #B8C7D6; border-radius: 8px; }
QLabel#text1 { color: #1B2733; }
QLabel#Label1 { color: #4A5560; font-size: 9pt; }
QLineEdit#Text2 { background: #FFFFFF; color: #1B2733; font-size: 11pt; padding: 2px 6px;
                  border: 1px solid #8FA6BD; border-radius: 4px; lineedit-password-character: 42;
                  selection-background-color: #2B7BC0; selection-color: #FFFFFF; }
QLineEdit#Text2:focus { border: 2px solid #2B7BC0; }
QPushButton { color: #1B2733; font-size: 10pt; font-weight: bold; padding: 4px 10px;
              border: 1px solid #8FA6BD; border-radius: 6px;
              background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #DCE5EE); }
QPushButton:hover { border-color: #2B7BC0;
              background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #FFFFFF, stop:1 #CFE2F5); }
QPushButton:pressed { background: #C3D7EA; }
QPushButton:focus { border: 2px solid #2B7BC0; }
QLabel#Image1:focus { border: 2px dotted #2B7BC0; }
)";

}  // namespace

void form97::SetBeep(std::function<void()> beep) {
    Beep() = beep ? std::move(beep) : [] { QApplication::beep(); };
}

form97::form97(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::form97>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setStyleSheet(QString::fromLatin1(kStyle));
    setMouseTracking(true);
    Load();
}

form97::~form97() = default;

void form97::Load() {
    // 1. The frame; 2. the logo; 3. centred on the screen.
    DressWindowFrame(this);
    const QPixmap logo = icc::logoc();
    if (!logo.isNull()) {
        const QSize box = ui_->Image1->size();
        ui_->Image1->setPixmap(logo.deviceIndependentSize().width() > box.width() ||
                                       logo.deviceIndependentSize().height() > box.height()
                                   ? logo.scaled(box * logo.devicePixelRatio(), Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation)
                                   : logo);
    }
    ui_->Image1->setCursor(Qt::PointingHandCursor);
    CentreWindow(this);

    // 5. Button pictures: a tick for "Valider" and "Oui", a cross for "Non"
    // and "Annuler", beside the caption.
    ui_->command3D0->setIcon(icc::p11Icon(icc::kLampOn));
    ui_->command3D1->setIcon(icc::p11Icon(icc::kLampOn));
    ui_->command3D2->setIcon(icc::p11Icon(icc::kLampFailed));
    ui_->Command3d3->setIcon(icc::p11Icon(icc::kLampFailed));

    // 6. Every button hidden until the mode says which are shown.
    QPushButton* buttons[] = {ui_->command3D0, ui_->command3D1, ui_->command3D2, ui_->Command3d3};
    for (QPushButton* b : buttons) {
        b->hide();
        b->setMouseTracking(true);
    }

    // 7-9. The mode and the text.
    opening_ = DecodeDialogOpening(DialogMode, DialogText);
    DialogMode = opening_.buttonSet;
    DialogText = opening_.message;
    if (opening_.masked) ui_->Text2->setEchoMode(QLineEdit::Password);
    if (opening_.inputVisible) {
        ui_->Text2->setText(QString::fromStdString(opening_.inputText));
        ui_->Text2->setSelection(0, ui_->Text2->text().length());
        ui_->Text2->show();
        ui_->Text2->setAccessibleName(QString::fromStdString(opening_.message).trimmed());
    } else {
        ui_->Text2->hide();
        // Without the input field the message takes the whole panel.
        const QRect panel = ui_->Shape1->geometry();
        QRect area = ui_->text1->geometry();
        area.setBottom(panel.bottom() - (area.top() - panel.top()));
        ui_->text1->setGeometry(area);
    }
    ui_->command3D0->setVisible(opening_.showValider);
    ui_->command3D1->setVisible(opening_.showOui);
    ui_->command3D2->setVisible(opening_.showNon);
    ui_->Command3d3->setVisible(opening_.showAnnuler);
    ui_->text1->setText(QString::fromStdString(MessageForDisplay(DialogText)));
    FitMessage();

    connect(ui_->command3D0, &QPushButton::clicked, this, [this] { Press(DialogButton::Valider); });
    connect(ui_->command3D1, &QPushButton::clicked, this, [this] { Press(DialogButton::Oui); });
    connect(ui_->command3D2, &QPushButton::clicked, this, [this] { Press(DialogButton::Non); });
    connect(ui_->Command3d3, &QPushButton::clicked, this, [this] { Press(DialogButton::Annuler); });

    // Text pasted into the field follows the same rule as typed text.
    // (Only growth is filtered: deleting part of a default answer that the
    // rule would refuse does not beep.)
    shownText_ = ui_->Text2->text();
    connect(ui_->Text2, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.size() > shownText_.size()) FilterPasted(text);
        shownText_ = ui_->Text2->text();
    });

    // Key preview and mouse-over: the dialog watches every control.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);

    // The keyboard starts in the input field, else on the first button.
    if (opening_.inputVisible) {
        ui_->Text2->setFocus(Qt::OtherFocusReason);
    } else {
        for (QPushButton* b : {ui_->command3D1, ui_->command3D0, ui_->command3D2, ui_->Command3d3}) {
            if (!b->isHidden()) {
                b->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
}

void form97::FitMessage() {
    // A long message takes a smaller type rather than being cut.
    QFont font = ui_->text1->font();
    for (int points = 11; points >= 7; --points) {
        font.setPointSize(points);
        ui_->text1->setFont(font);
        if (ui_->text1->heightForWidth(ui_->text1->width()) <= ui_->text1->height()) break;
    }
}

void form97::Press(DialogButton button) {
    if (answered_) return;
    answered_ = true;
    LeaveDialogAnswer(button, ui_->Text2->text().toStdString(), opening_.inputVisible);
    done(DialogMode);
}

void form97::reject() {
    // Escape that no control took, or the title bar's close button.
    Press(CloseButtonFor(opening_.buttonSet));
}

void form97::SetStatus(const QString& text) {
    if (ui_->Label1->text() == text) return;
    ui_->Label1->setText(text);
    ui_->Label1->repaint();
}

void form97::mouseMoveEvent(QMouseEvent* event) {
    SetStatus(QString::fromUtf8(kStatusWaiting));
    QDialog::mouseMoveEvent(event);
}

void form97::FilterPasted(const QString& text) {
    const int rule = opening_.inputRule;
    if (rule == kInputRuleNone) return;
    QString kept;
    bool refused = false;
    for (const QChar c : text) {
        const FieldKeyResult r = FilterFieldKey(rule, QString(c).toStdString());
        if (r.accepted) kept += QString::fromStdString(r.text);
        else refused = true;
    }
    if (refused) Beep()();
    if (kept != text) {
        const int cursor = std::min<int>(ui_->Text2->cursorPosition(), kept.size());
        ui_->Text2->setText(kept);
        ui_->Text2->setCursorPosition(cursor);
    }
}

bool form97::FieldKey(QKeyEvent* event) {
    if (const auto button = InputFieldButton(KeyOf(event))) {
        Press(*button);
        return true;
    }
    if (!IsTyping(event)) return false;
    const int rule = opening_.inputRule;
    const std::string typed = event->text().toStdString();
    const FieldKeyResult result = FilterFieldKey(rule, typed);
    if (!result.accepted) {
        Beep()();
        return true;
    }
    if (result.text != typed) {
        ui_->Text2->insert(QString::fromStdString(result.text));
        return true;
    }
    return false;
}

bool form97::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (const auto button = DialogLevelButton(opening_.buttonSet, KeyOf(key))) {
                Press(*button);
                return true;
            }
            if (watched == ui_->Text2) return FieldKey(key);
            if (watched == ui_->Image1 && key->key() == Qt::Key_Space) {
                OpenMakerPage();
                return true;
            }
            break;
        }
        case QEvent::Enter:
        case QEvent::MouseMove:
        case QEvent::HoverEnter: {
            std::optional<DialogButton> over;
            if (watched == ui_->command3D0) over = DialogButton::Valider;
            else if (watched == ui_->command3D1) over = DialogButton::Oui;
            else if (watched == ui_->command3D2) over = DialogButton::Non;
            else if (watched == ui_->Command3d3) over = DialogButton::Annuler;
            if (over) {
                SetStatus(QString::fromUtf8(StatusTextFor(*over)));
                // A move over a button stops here: passed on to the dialog
                // it would read as a move over the background.
                if (event->type() == QEvent::MouseMove) return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (watched == ui_->Image1 && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                // The dialog stays open and the answer is unchanged, whether
                // or not a browser could be started.
                OpenMakerPage();
                return true;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

Form97Dialog::Form97Dialog(QWidget* parent) : parent_(parent) {}

void Form97Dialog::ShowDialog() { Show(-1); }

void Form97Dialog::ShowDialogFor(int closeAfterMs) { Show(closeAfterMs < 0 ? 0 : closeAfterMs); }

void Form97Dialog::Show(int closeAfterMs) {
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    {
        form97 dialog(parent);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (closeAfterMs >= 0) {
            QTimer::singleShot(closeAfterMs, &dialog, [&dialog] {
                if (dialog.Answered()) return;
                dialog.Press(CloseButtonFor(dialog.Opening().buttonSet));
            });
        }
        dialog.exec();
        // Closed by other means than a button (the application quitting):
        // the answer of the Escape button of the set.
        if (!dialog.Answered()) dialog.Press(CloseButtonFor(dialog.Opening().buttonSet));
    }
    QGuiApplication::restoreOverrideCursor();
    QCoreApplication::processEvents();
}

}  // namespace kuv
