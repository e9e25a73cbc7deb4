#pragma once
// The real program kuvzip, started headless as the linked application starts
// it: a scratch working folder with its own HOME and XDG_CONFIG_HOME, a
// Kuv-Zip.ini and a link file W_intlog.wdo holding a request.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>

#include <string>

#include "link/LinkFile.h"
#include "platform/Text.h"

namespace kuv::apptest {

inline void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

class UnattendedRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        const QString root = scratch.path();
        home = root + "/home";
        work = root + "/work";
        config = root + "/config";
        data = home + "/Compta/Données";
        for (const QString& dir : {home, work, config, data, root + "/run"}) ASSERT_TRUE(QDir().mkpath(dir));
        QFile::setPermissions(root + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // The desktop of a French account, not created yet.
        Write(config + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
        Write(data + "/grand-livre.dat", QByteArray(50000, 'g'));
        Write(data + "/clients.csv", "Dupont;Lyon\r\n");
        Write(data + "/vide.dat", "");
        // Line 1 through drive c: (the home folder), in the linked application's vocabulary.
        ini = QByteArray("C:\\Compta\\Donn\xE9" "es\r\nE:\r\n#L#/bin/false\r\n\r\n");
        Write(work + "/Kuv-Zip.ini", ini);
    }

    std::string LinkPath() const { return (work + "/W_intlog.wdo").toStdString(); }
    void SetLink(const std::string& key, const std::string& value) {
        ASSERT_TRUE(kuv::WriteLinkValue(key, value, LinkPath()));
    }
    std::string Link(const std::string& key) const { return kuv::platform::Trim(kuv::ReadLinkValue(key, LinkPath())); }

    // The program set up to start in the scratch working folder, headless.
    void Prepare(QProcess& program) {
        program.setProgram(QString::fromUtf8(KUVZIP_BIN_DIR) + "/kuvzip");
        program.setArguments(arguments);
        program.setWorkingDirectory(work);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", config);
        env.insert("XDG_RUNTIME_DIR", scratch.path() + "/run");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        if (adjustEnvironment) adjustEnvironment(env);
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    }

    // Runs the program to its end (or the time limit); the exit code, -1
    // when it did not end by itself. Its error output is kept in errors.
    int Run(int limitMs = 60000) {
        QProcess program;
        Prepare(program);
        QElapsedTimer clock;
        clock.start();
        program.start();
        if (!program.waitForStarted(10000)) return -2;
        const bool ended = program.waitForFinished(limitMs);
        if (!ended) {
            program.kill();
            program.waitForFinished();
        }
        errors = program.readAllStandardError();
        std::fputs(errors.constData(), stderr);
        if (!ended) return -1;
        seconds = clock.elapsed() / 1000.0;
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -3;
    }

    // The program's command line (none, as the linked application starts it).
    QStringList arguments;

    // Runs the program with args under dbus-run-session with the tests'
    // notification server, which stops it after the first notification or
    // after limitSeconds. Returns: the server's record (empty when the
    // session did not run).
    QJsonObject RunWithServer(int limitSeconds, const QStringList& args = {}) {
        if (QStandardPaths::findExecutable("dbus-run-session").isEmpty()) return {};
        QProcess session;
        Prepare(session);
        const QString program = session.program();
        const QString record = scratch.path() + "/notifications.json";
        session.setProgram(QStringLiteral("dbus-run-session"));
        session.setArguments(QStringList{"--", QString::fromUtf8(KUVZIP_SOURCE_DIR) + "/tests/app/notification-server.py",
                                         record, "1", QString::number(limitSeconds), "--", program} +
                             args);
        QProcessEnvironment env = session.processEnvironment();
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        session.setProcessEnvironment(env);
        session.setProcessChannelMode(QProcess::SeparateChannels);
        session.start();
        if (!session.waitForStarted(10000)) return {};
        session.waitForFinished((limitSeconds + 30) * 1000);
        errors = session.readAllStandardError();
        std::fputs(errors.constData(), stderr);
        return QJsonDocument::fromJson(Read(record)).object();
    }

    // Changes a test makes to the program's environment, last.
    std::function<void(QProcessEnvironment&)> adjustEnvironment;
    QTemporaryDir scratch;
    QString home, work, config, data;
    QByteArray ini;
    QByteArray errors;
    double seconds = 0;
};

}  // namespace kuv::apptest
