#pragma once
// Answers Qt's modal boxes as a user does: each box that opens is recorded
// (kind, title, text, button captions) and gets the next scripted answer,
// given with real key presses and clicks.

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"

namespace kuv::testpanel::testing {

class BoxAnswerer {
public:
    struct Seen {
        std::string kind;  // "information", "warning", "input", "other"
        std::string title, text;
        std::vector<std::string> buttons;
        std::string objectName;
        QWidget* parent = nullptr;
    };
    struct Answer {
        enum Kind { Ok, Type, Cancel } kind = Ok;
        std::string text;
    };

    BoxAnswerer() {
        kuv::testing::EnsureApp();  // the timer needs the application's event loop
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(5);
        QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Poll(); });
        timer_->start();
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    void Ok() { script.push_back({Answer::Ok, {}}); }
    void Type(const std::string& text) { script.push_back({Answer::Type, text}); }
    void Cancel() { script.push_back({Answer::Cancel, {}}); }

    std::deque<Answer> script;
    std::vector<Seen> seen;
    int unscripted = 0;  // boxes that opened with no answer left (closed with OK)

private:
    static QPushButton* ButtonNamed(QWidget* box, const QString& caption) {
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->isVisible() && b->text().remove(QLatin1Char('&')) == caption) return b;
        return nullptr;
    }

    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == last_.data() || !w->isVisible()) return;
        last_ = w;
        Seen s;
        s.title = w->windowTitle().toStdString();
        s.objectName = w->objectName().toStdString();
        s.parent = w->parentWidget();
        if (auto* m = qobject_cast<QMessageBox*>(w)) {
            s.kind = m->icon() == QMessageBox::Warning ? "warning"
                     : m->icon() == QMessageBox::Information ? "information"
                                                              : "other";
            s.text = m->text().toStdString();
        } else if (auto* in = qobject_cast<QInputDialog*>(w)) {
            s.kind = "input";
            s.text = in->labelText().toStdString();
        } else {
            s.kind = "other";
        }
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->isVisible()) s.buttons.push_back(b->text().toStdString());
        seen.push_back(s);

        Answer a;
        if (script.empty()) {
            ++unscripted;
        } else {
            a = script.front();
            script.pop_front();
        }
        if (a.kind == Answer::Type) {
            if (auto* edit = w->findChild<QLineEdit*>()) {
                edit->setFocus();
                QTest::keyClicks(edit, QString::fromStdString(a.text));
            }
        }
        QPushButton* button = ButtonNamed(w, a.kind == Answer::Cancel ? QStringLiteral("Annuler") : QStringLiteral("OK"));
        if (button) {
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            w->close();
        }
    }

    std::unique_ptr<QTimer> timer_;
    QPointer<QWidget> last_;
};

}  // namespace kuv::testpanel::testing
