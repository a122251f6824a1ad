#include "actions/qshell.h"
#include "common/texts.h"
#include "jobs/terminal_display.h"
#include "jobs/terminal_job.h"

#include <merrow.h>

#include <QByteArray>
#include <QFileDialog>
#include <QString>

int QShell::image()
{
    // Before the dialog: no image need be picked for a job that cannot run.
    if (terminal_display_missing())
        return 0;
    char home[1025];
    const QString start_dir = QString::fromUtf8(mw_get_home_dir(home, sizeof home) ? home : "");

    const QString chosen = QFileDialog::getOpenFileName(nullptr, tr("Open Image"), start_dir,
                                                        tr("Image Files (*.img *.iso)"));
    if (chosen.isNull())
        return 0;

    // Bytes as the filesystem knows the name, whatever it is.
    const QByteArray image_path = chosen.toLocal8Bit();
    const char *const tool_args[] = {image_path.constData(), terminal_job_disk, nullptr};
    const TerminalJob job = {
        "pernix",
        "--success-file",
        tool_args,
        tx(Text::copy_complete),
        tx(Text::copy_failed),
        image_path.constData(),
    };
    run_terminal_job(mount_point, device, job);
    return 0;
}
