#include "binary_fixture.h"

#include "testhook/log_escape.h"

#include <QDir>
#include <QFile>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

QString testable_binary()
{
    return QString::fromLocal8Bit(qgetenv("VORLIX_TESTABLE"));
}

static QByteArray log_unescape(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

QList<QByteArray> BinaryRun::boxes() const
{
    QList<QByteArray> out;
    for (const QByteArray &line : log)
        if (line.startsWith("box "))
            out.append(log_unescape(line.mid(4)));
    return out;
}

QList<QByteArray> BinaryRun::lines_starting_with(const QByteArray &prefix) const
{
    QList<QByteArray> out;
    for (const QByteArray &line : log)
        if (line.startsWith(prefix))
            out.append(line);
    return out;
}

BinaryFixture::BinaryFixture()
{
    QDir(dir.path()).mkpath("home");
    QDir(dir.path()).mkpath("bin");
}

void BinaryFixture::add_fake(const QString &name, const QByteArray &body)
{
    // Only shell built-ins: PATH holds nothing but the fakes.
    const QByteArray script = "#!/bin/sh\n"
                              "{ printf '%s' \"${0##*/}\"; for a in \"$@\"; do printf '\\037%s' \"$a\"; done;"
                              " printf '\\n'; } >> '" + path("calls.log").toLocal8Bit() + "'\n"
                              + body + "\n";
    const QString file = QDir(bin()).filePath(name);
    write_file(file, script);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void BinaryFixture::add_fake_terminal()
{
    add_fake("urxvt", "[ \"$1\" = -e ] || exit 2\nshift\n\"$@\"\nexit 0");
}

QString BinaryFixture::write_file(const QString &name, const QByteArray &contents)
{
    const QString file = QDir::isAbsolutePath(name) ? name : path(name);
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(contents);
    return file;
}

QList<QList<QByteArray>> BinaryFixture::calls() const
{
    QList<QList<QByteArray>> out;
    QFile f(path("calls.log"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.isEmpty())
            out.append(line.split('\037'));
    return out;
}

BinaryRun BinaryFixture::run(const QList<QByteArray> &args, const QString &script, int timeout_ms) const
{
    const QString log_path = path("hook.log");
    QFile::remove(log_path);

    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.remove("VORLIX_FM");
    // Whatever session the tests run in: a test that means Wayland says so.
    e.remove("WAYLAND_DISPLAY");
    // The texts as written, whatever language the developer's session is
    // in; a test sets LANG and the like through env to see another.
    for (const char *var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        e.remove(var);
    e.insert("LANG", "C.UTF-8");
    e.insert("PATH", bin());
    e.insert("HOME", home());
    if (!e.contains("QT_QPA_PLATFORM"))
        e.insert("QT_QPA_PLATFORM", "offscreen");
    e.insert("VORLIX_HOOK_LOG", log_path);
    if (!script.isNull())
        e.insert("VORLIX_HOOK_SCRIPT", script);
    for (const QString &key : env.keys())
        e.insert(key, env.value(key));
    for (const QString &key : unset)
        e.remove(key);
    if (seal_path)
        e.insert("VORLIX_HOOK_PATH", e.value("PATH"));

    // Arguments are bytes, not text: spawn directly so they arrive exactly
    // as given, invalid UTF-8 included.
    QList<QByteArray> argv_bytes = wrapper;
    argv_bytes.append(testable_binary().toLocal8Bit());
    argv_bytes += args;
    QList<QByteArray> env_bytes;
    for (const QString &entry : e.toStringList())
        env_bytes.append(entry.toLocal8Bit());
    std::vector<char *> argv, envp;
    for (QByteArray &a : argv_bytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (QByteArray &v : env_bytes)
        envp.push_back(v.data());
    envp.push_back(nullptr);

    BinaryRun r;
    int err_pipe[2];
    if (pipe(err_pipe) != 0)
        return r;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    // A group of its own, so a hung run goes down with all its children.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(err_pipe[1]);
    if (spawned != 0) {
        close(err_pipe[0]);
        return r;
    }

    QElapsedTimer clock;
    clock.start();
    int status = 0;
    bool open = true;
    for (;;) {
        if (open) {
            pollfd pfd = {err_pipe[0], POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) {
                char buf[4096];
                const ssize_t n = read(err_pipe[0], buf, sizeof buf);
                if (n > 0)
                    r.err.append(buf, n);
                else
                    open = false;
            }
        } else {
            usleep(50000);
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            r.finished = true;
            break;
        }
        if (clock.elapsed() > timeout_ms) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    // Whatever is left; a lingering grandchild must not block us.
    fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);
    for (char buf[4096];;) {
        const ssize_t n = open ? read(err_pipe[0], buf, sizeof buf) : 0;
        if (n <= 0)
            break;
        r.err.append(buf, n);
    }
    close(err_pipe[0]);
    r.crashed = r.finished && WIFSIGNALED(status);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

    QFile f(log_path);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                r.log.append(line);
    return r;
}
