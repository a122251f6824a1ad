#ifndef VORLIX_BINARY_FIXTURE_H
#define VORLIX_BINARY_FIXTURE_H

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One run of the test build of vorlix, as the user would start it.
struct BinaryRun {
    int exit_code = -1;
    bool finished = false;  // false: it hung and was killed
    bool crashed = false;
    QByteArray err;         // standard error
    QList<QByteArray> log;  // the hook's lines (see testhook/modal_hook.cpp)

    // The texts of the boxes shown, in order, unescaped.
    QList<QByteArray> boxes() const;
    // The hook's lines that start with prefix, in order.
    QList<QByteArray> lines_starting_with(const QByteArray &prefix) const;
};

// A temporary home and a bin folder of fake commands, which is all of PATH,
// so no real tool can ever be reached. Every fake appends its argv to one
// shared log, so the order of calls across commands shows.
class BinaryFixture
{
public:
    BinaryFixture();

    bool valid() const { return dir.isValid(); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString home() const { return path("home"); }
    QString bin() const { return path("bin"); }

    // Adds a fake command: it logs its argv, then runs body (sh).
    void add_fake(const QString &name, const QByteArray &body = "exit 0");
    // The terminal: runs everything after -e, as a real one would, and
    // exits 0 whatever that did.
    void add_fake_terminal();
    // A file at path (under the fixture unless absolute) with contents.
    QString write_file(const QString &name, const QByteArray &contents);

    // Each call of a fake: its name, then its arguments.
    QList<QList<QByteArray>> calls() const;

    // Extra environment for the next runs (VORLIX_FM and the like).
    QProcessEnvironment env;
    // true: the program keeps the PATH it is started with, the bin folder,
    // although vorlix appends /usr/local/bin and /usr/local/sbin at start
    // (the test hook puts it back). false: it runs with PATH as vorlix
    // makes it; use that only where every command it runs is in bin, or
    // in a private mount namespace.
    bool seal_path = true;
    // Variables taken out of the environment for the next runs (DISPLAY).
    QStringList unset;
    // A command that starts the program in its place, as an odd parent
    // would: an absolute path and its arguments, then the program and its
    // arguments follow. Empty: the program is started directly.
    QList<QByteArray> wrapper;

    // Runs vorlix-testable with args. script: hook steps ('|'-separated);
    // an empty script leaves the program to end by itself.
    BinaryRun run(const QList<QByteArray> &args, const QString &script = QString(),
                  int timeout_ms = 30000) const;

private:
    QTemporaryDir dir;
};

// The executable under test, from the build tree.
QString testable_binary();

#endif
