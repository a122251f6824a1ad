#include "common/texts.h"

#include "common/format_text.h"

#include <QCoreApplication>
#include <QString>
#include <QTranslator>

#include <string>
#include <vector>

const char texts_context[] = "vorlix";

namespace {

// In the order of enum Text. Names of files, commands and devices, the
// "vorlix: " that begins a command failure and a final newline stay as
// they are in every language.
const char *const english[] = {
    //: Printed on standard error. %s is the program's name as it was started.
    QT_TRANSLATE_NOOP("vorlix", "Usage: %s /mount/point device fs-type\n"),
    //: Printed on standard error, on one line, when vorlix is started
    //: outside a graphical session. DISPLAY and WAYLAND_DISPLAY are
    //: environment variables; keep them as they are.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: cannot open a display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"),
    //: Printed on standard error, on one line. %s names what chose the
    //: display, such as "DISPLAY=:0" or "QT_QPA_PLATFORM=wayland".
    QT_TRANSLATE_NOOP("vorlix", "vorlix: cannot open the display given by %s.\n"),
    //: Printed on standard error, on one line, when the toolkit's part for
    //: the kind of display (its platform plugin) is not installed or does
    //: not load. %s is its name, such as "xcb" or "wayland".
    QT_TRANSLATE_NOOP("vorlix", "vorlix: the platform plugin \"%s\" is missing or cannot be loaded.\n"),
    //: The first %s is a device node (/dev/da0s1), the second its whole disk (/dev/da0).
    //: "draskel" is a command; keep the command line as it is, on a line of its own.
    //: Break the other lines where your language reads well, none longer than
    //: the longest English one: a longer line makes the box wrap it.
    QT_TRANSLATE_NOOP("vorlix", "%s does not contain a recognized filesystem.  It may\n"
                                "be possible to mount manually using fusefs tools that\n"
                                "are not currently integrated into this system.\n\n"
                                "If you are certain that the device does not contain\n"
                                "any important information, you can reformat it using\n\n"
                                "    draskel %s fs-type\n\n"
                                "if you wish."),
    //: Button.
    QT_TRANSLATE_NOOP("vorlix", "Filesystem info"),
    //: Button.
    QT_TRANSLATE_NOOP("vorlix", "Open file manager"),
    //: Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.
    QT_TRANSLATE_NOOP("vorlix", "Reformat %s"),
    //: Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.
    QT_TRANSLATE_NOOP("vorlix", "Copy disk image to %s"),
    //: Button; %s is the mount point, such as /media/da0s1. At most 64 bytes are shown.
    QT_TRANSLATE_NOOP("vorlix", "Unmount %s"),
    //: The window cannot be closed; "Unmount" is the button of that name.
    QT_TRANSLATE_NOOP("vorlix", "Use Unmount to unmount and close this window."),
    //: Button of the format chooser.
    QT_TRANSLATE_NOOP("vorlix", "EXFAT (Windows and most Unix)"),
    //: Button of the format chooser.
    QT_TRANSLATE_NOOP("vorlix", "UFS2 (BSD)"),
    //: Button of the format chooser.
    QT_TRANSLATE_NOOP("vorlix", "EXT4 (Linux)"),
    QT_TRANSLATE_NOOP("vorlix", "Cannot get filesystem info."),
    //: Tabs line the values up: a tab moves on to the next tab stop, and
    //: stops are 80 pixels apart. Where a label is too long for the first
    //: stop, give the short labels two tabs and the long ones one, so that
    //: every value starts at the second stop; keep labels clear of a stop by
    //: a few letters. The %s are the mount point, the filesystem type and the
    //: device; the numbers are sizes and percentages. Keep every conversion
    //: as it is, in this order.
    QT_TRANSLATE_NOOP("vorlix", "Mount point:\t%s\nFilesystem:\t%s\nDevice:\t%s\n"
                                "Total:\t%10.2f GB  (%10.2f GiB)\n"
                                "Used:\t%10.2f GB  (%10.2f GiB,  %4.1f%%)\n"
                                "Available:\t%10.2f GB  (%10.2f GiB,  %4.1f%%)\n"),
    //: %s is the mount point. "pkill vorlix" is a command.
    QT_TRANSLATE_NOOP("vorlix", "Unmount failed for %s.\nWas the device improperly removed before unmounting?\n"
                                "Run \"pkill vorlix\" to force termination.\n"),
    //: %s says how the mount helper ended, or the system's reason.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: unmount failed: %s\n"),
    //: %s is the system's reason.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: exec failed: %s\n"),
    QT_TRANSLATE_NOOP("vorlix", "Failed to get home directory."),
    //: ".config/vorlix" is a file name.
    QT_TRANSLATE_NOOP("vorlix", ".config/vorlix exists, but is empty."),
    //: %s says how the file manager ended, or the system's reason.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: File manager error: %s\n"),
    QT_TRANSLATE_NOOP("vorlix", "Error generating temp file name."),
    //: %s is a device node.
    QT_TRANSLATE_NOOP("vorlix", "%s: Cannot determine parent device name"),
    QT_TRANSLATE_NOOP("vorlix", "Failed to unmount."),
    //: The terminal window for the job could not be started.
    QT_TRANSLATE_NOOP("vorlix", "exec failed."),
    QT_TRANSLATE_NOOP("vorlix", "Copy complete.  You may need to disconnect and\n"
                                "reconnect the device to mount all new filesystems."),
    QT_TRANSLATE_NOOP("vorlix", "Image copy failed."),
    QT_TRANSLATE_NOOP("vorlix", "Format complete.  You may need to disconnect and\n"
                                "reconnect the device to mount all new filesystems."),
    QT_TRANSLATE_NOOP("vorlix", "Format failed."),
    //: How a command ended: %s is the command's name, %d its exit status.
    QT_TRANSLATE_NOOP("vorlix", "%s exited with status %d"),
    //: How a command ended: %s is the command's name, %d the signal's number.
    QT_TRANSLATE_NOOP("vorlix", "%s was killed by signal %d"),
    //: %s is the image file the user chose, which lies on the very disk
    //: that copying it would overwrite; nothing was done.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is on the disk it would overwrite.\n"),
    //: Shown instead of starting a format or image copy. "urxvt" is the
    //: terminal program, "DISPLAY" an environment variable and "XWayland"
    //: the X server of a Wayland desktop; keep them as they are.
    QT_TRANSLATE_NOOP("vorlix", "The terminal for this job, urxvt, needs an X display,\n"
                                "but this Wayland session has none (DISPLAY is not set).\n"
                                "Nothing was unmounted or written.\n\n"
                                "Turn on XWayland in your desktop and start vorlix with\n"
                                "DISPLAY set, then try again."),
    //: Not shown on screen: the name screen readers give the main window.
    //: %s is the mount point, such as /media/da0s1.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s"),
    //: %s is a folder or a file of a filesystem that did not answer within
    //: 10 seconds: a stick that stopped answering, say.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is not responding.\n"),
    //: Asked while a command still runs. The first %s is the command
    //: ("kelmo"), the second the folder it works on, %d the seconds waited
    //: so far. The buttons are "Keep waiting" and "Stop".
    QT_TRANSLATE_NOOP("vorlix", "%s has been waiting on %s for %d seconds.\n"
                                "A slow stick can take minutes to write back its cache.\n\n"
                                "Keep waiting, or stop it?"),
    //: Button: go on waiting for the command.
    QT_TRANSLATE_NOOP("vorlix", "Keep waiting"),
    //: Button: end the command that is still waiting.
    QT_TRANSLATE_NOOP("vorlix", "Stop"),
    //: How a command ended: %s is the command's name; the user stopped it.
    QT_TRANSLATE_NOOP("vorlix", "%s was stopped"),
    //: Why an unmount failed. The first %s is a device (/dev/da0s1) or a
    //: disk image file, the second a folder it is still mounted on.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still mounted on %s.\n"),
    //: Why an unmount failed. %s is a device. A mount namespace is a
    //: separate view of the mounts, as a container has.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still mounted in another mount namespace.\n"),
    //: Why an unmount failed. The first %s is a device or a file, the
    //: second the name of a program, %d its process id.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still in use by %s (pid %d).\n"),
    //: Why an unmount failed. The first %s is a device, the second a device
    //: made on top of it, such as an encrypted mapping ("dm-0").
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still held by %s, which is built on it.\n"),
    //: Why an unmount failed, on FreeBSD. The first %s is a device, the
    //: second the kind of layer that holds it open: ELI (encryption), SWAP,
    //: ZFS::VDEV (a ZFS pool). Keep "GEOM" and the kind as they are.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still held by the GEOM class %s.\n"),
    //: Why an unmount failed, on FreeBSD. %s is a device that some program
    //: has open through its /dev node, and the system does not say which.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still held open by a program through /dev.\n"),
    //: Why an unmount failed. %s is a device that the system still claims
    //: without saying for what.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is still claimed by the system.\n"),
    //: Shown instead of a format or image copy. The first %s is a device,
    //: the second what it lies on: a device that spans several disks, or
    //: is none, such as "md0" or "mirror/gm0 (MIRROR)". Writing one of its
    //: disks would break it.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is not a disk vorlix can write: it lies on %s, which is not one whole disk.\n"),
    //: %s is a disk such as /dev/da0. Between the start of a job and the
    //: start of its tool the disk was pulled, and another may stand in its
    //: place; nothing was written.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: %s is no longer the disk this job began with; nothing was written.\n"),
    //: %s is the folder a FUSE filesystem is mounted on. Which device its
    //: program reads cannot be told, so it is taken to be on the disk.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: cannot tell which device the FUSE filesystem on %s reads.\n"),
    //: Why an unmount failed, on FreeBSD. %s is the folder. Keep
    //: "vfs.usermount=1" as it is.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: only root may unmount %s, or the user who mounted it, with vfs.usermount=1.\n"),
    //: Why an unmount failed, on FreeBSD. The first %s is a device, the
    //: second the settings of the system that hide other users' programs,
    //: or every program's open files, such as
    //: "security.bsd.see_other_uids=0"; keep it as it is.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: the system hides which programs hold %s (%s).\n"),
    //: Why an unmount failed, on FreeBSD. %s is a device. The system's list
    //: of the programs' open files did not come: a filesystem that one of
    //: them has open has stopped answering.
    QT_TRANSLATE_NOOP("vorlix", "vorlix: the system did not tell in time which programs hold %s.\n"),
};
static_assert(sizeof english / sizeof english[0] == static_cast<size_t>(Text::count),
              "one English text for each Text");

// Filled in once, in the main process, before any child exists; read-only
// afterwards, so a forked copy reads it as it stood.
std::vector<std::string> translated;

size_t index_of(Text id)
{
    return static_cast<size_t>(id);
}

} // namespace

const char *english_text(Text id)
{
    return english[index_of(id)];
}

const char *tx(Text id)
{
    if (translated.empty())
        return english_text(id);
    return translated[index_of(id)].c_str();
}

namespace {

template <typename Lookup>
void translate_each(Lookup lookup)
{
    std::vector<std::string> texts;
    for (const char *source : english) {
        const QByteArray local = lookup(source).toUtf8();
        const bool usable = !local.isEmpty() && same_conversions(source, local.constData());
        texts.push_back(usable ? local.toStdString() : source);
    }
    translated = std::move(texts);
}

} // namespace

void translate_texts()
{
    translate_each([](const char *source) { return QCoreApplication::translate(texts_context, source); });
}

void translate_texts(const QTranslator &translator)
{
    translate_each([&translator](const char *source) { return translator.translate(texts_context, source); });
}
