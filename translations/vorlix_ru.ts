<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>QShell</name>
    <message>
        <source>Open Image</source>
        <translation>Открыть образ</translation>
    </message>
    <message>
        <source>Image Files (*.img *.iso)</source>
        <translation>Файлы образов (*.img *.iso)</translation>
    </message>
</context>
<context>
    <name>vorlix</name>
    <message>
        <source>Usage: %s /mount/point device fs-type
</source>
        <extracomment>Printed on standard error. %s is the program&apos;s name as it was started.</extracomment>
        <translation>Использование: %s /точка/монтирования устройство тип_ФС
</translation>
    </message>
    <message>
        <source>%s does not contain a recognized filesystem.  It may
be possible to mount manually using fusefs tools that
are not currently integrated into this system.

If you are certain that the device does not contain
any important information, you can reformat it using

    draskel %s fs-type

if you wish.</source>
        <extracomment>The first %s is a device node (/dev/da0s1), the second its whole disk (/dev/da0). &quot;draskel&quot; is a command; keep the command line as it is, on a line of its own. Break the other lines where your language reads well, none longer than the longest English one: a longer line makes the box wrap it.</extracomment>
        <translation>На %s нет распознанной файловой системы.
Возможно, её удастся смонтировать вручную
средствами fusefs, пока не встроенными в систему.

Если на устройстве точно нет важных данных,
его можно при желании переформатировать командой

    draskel %s fs-type</translation>
    </message>
    <message>
        <source>Filesystem info</source>
        <extracomment>Button.</extracomment>
        <translation>Сведения о файловой системе</translation>
    </message>
    <message>
        <source>Open file manager</source>
        <extracomment>Button.</extracomment>
        <translation>Открыть файловый менеджер</translation>
    </message>
    <message>
        <source>Reformat %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Переформатировать %s</translation>
    </message>
    <message>
        <source>Copy disk image to %s</source>
        <extracomment>Button; %s is the whole disk, such as /dev/da0. At most 64 bytes are shown.</extracomment>
        <translation>Записать образ диска на %s</translation>
    </message>
    <message>
        <source>Unmount %s</source>
        <extracomment>Button; %s is the mount point, such as /media/da0s1. At most 64 bytes are shown.</extracomment>
        <translation>Отмонтировать %s</translation>
    </message>
    <message>
        <source>Use Unmount to unmount and close this window.</source>
        <extracomment>The window cannot be closed; &quot;Unmount&quot; is the button of that name.</extracomment>
        <translation>Чтобы закрыть это окно, отмонтируйте том кнопкой «Отмонтировать».</translation>
    </message>
    <message>
        <source>EXFAT (Windows and most Unix)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXFAT (Windows и большинство Unix)</translation>
    </message>
    <message>
        <source>UFS2 (BSD)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>UFS2 (BSD)</translation>
    </message>
    <message>
        <source>EXT4 (Linux)</source>
        <extracomment>Button of the format chooser.</extracomment>
        <translation>EXT4 (Linux)</translation>
    </message>
    <message>
        <source>Cannot get filesystem info.</source>
        <translation>Не удалось получить сведения о файловой системе.</translation>
    </message>
    <message>
        <source>Mount point:	%s
Filesystem:	%s
Device:	%s
Total:	%10.2f GB  (%10.2f GiB)
Used:	%10.2f GB  (%10.2f GiB,  %4.1f%%)
Available:	%10.2f GB  (%10.2f GiB,  %4.1f%%)
</source>
        <extracomment>Tabs line the values up: a tab moves on to the next tab stop, and stops are 80 pixels apart. Where a label is too long for the first stop, give the short labels two tabs and the long ones one, so that every value starts at the second stop; keep labels clear of a stop by a few letters. The %s are the mount point, the filesystem type and the device; the numbers are sizes and percentages. Keep every conversion as it is, in this order.</extracomment>
        <translation>Точка монтирования:	%s
Файловая система:	%s
Файл устройства:	%s
Всего:		%10.2f ГБ  (%10.2f ГиБ)
Занято:		%10.2f ГБ  (%10.2f ГиБ,  %4.1f%%)
Свободно:		%10.2f ГБ  (%10.2f ГиБ,  %4.1f%%)
</translation>
    </message>
    <message>
        <source>Unmount failed for %s.
Was the device improperly removed before unmounting?
Run &quot;pkill vorlix&quot; to force termination.
</source>
        <extracomment>%s is the mount point. &quot;pkill vorlix&quot; is a command.</extracomment>
        <translation>Не удалось отмонтировать %s.
Возможно, устройство извлекли, не отмонтировав?
Чтобы принудительно завершить программу, выполните &quot;pkill vorlix&quot;.
</translation>
    </message>
    <message>
        <source>vorlix: unmount failed: %s
</source>
        <extracomment>%s says how the mount helper ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: не удалось отмонтировать: %s
</translation>
    </message>
    <message>
        <source>vorlix: exec failed: %s
</source>
        <extracomment>%s is the system&apos;s reason.</extracomment>
        <translation>vorlix: не удалось запустить: %s
</translation>
    </message>
    <message>
        <source>Failed to get home directory.</source>
        <translation>Не удалось определить домашний каталог.</translation>
    </message>
    <message>
        <source>.config/vorlix exists, but is empty.</source>
        <extracomment>&quot;.config/vorlix&quot; is a file name.</extracomment>
        <translation>.config/vorlix существует, но пуст.</translation>
    </message>
    <message>
        <source>vorlix: File manager error: %s
</source>
        <extracomment>%s says how the file manager ended, or the system&apos;s reason.</extracomment>
        <translation>vorlix: ошибка файлового менеджера: %s
</translation>
    </message>
    <message>
        <source>Error generating temp file name.</source>
        <translation>Не удалось создать имя временного файла.</translation>
    </message>
    <message>
        <source>%s: Cannot determine parent device name</source>
        <extracomment>%s is a device node.</extracomment>
        <translation>%s: не удалось определить имя всего диска</translation>
    </message>
    <message>
        <source>Failed to unmount.</source>
        <translation>Не удалось отмонтировать.</translation>
    </message>
    <message>
        <source>exec failed.</source>
        <extracomment>The terminal window for the job could not be started.</extracomment>
        <translation>Не удалось запустить терминал.</translation>
    </message>
    <message>
        <source>Copy complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Копирование завершено.  Возможно, придётся отключить и снова
подключить устройство, чтобы смонтировать все новые файловые системы.</translation>
    </message>
    <message>
        <source>Image copy failed.</source>
        <translation>Не удалось записать образ.</translation>
    </message>
    <message>
        <source>Format complete.  You may need to disconnect and
reconnect the device to mount all new filesystems.</source>
        <translation>Форматирование завершено.  Возможно, придётся отключить и снова
подключить устройство, чтобы смонтировать все новые файловые системы.</translation>
    </message>
    <message>
        <source>Format failed.</source>
        <translation>Не удалось отформатировать.</translation>
    </message>
    <message>
        <source>%s exited with status %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d its exit status.</extracomment>
        <translation>%s завершился с кодом %d</translation>
    </message>
    <message>
        <source>%s was killed by signal %d</source>
        <extracomment>How a command ended: %s is the command&apos;s name, %d the signal&apos;s number.</extracomment>
        <translation>%s завершён сигналом %d</translation>
    </message>
    <message>
        <source>vorlix: %s is on the disk it would overwrite.
</source>
        <extracomment>%s is the image file the user chose, which lies on the very disk that copying it would overwrite; nothing was done.</extracomment>
        <translation>vorlix: %s находится на диске, который был бы перезаписан.
</translation>
    </message>
    <message>
        <source>The terminal for this job, urxvt, needs an X display,
but this Wayland session has none (DISPLAY is not set).
Nothing was unmounted or written.

Turn on XWayland in your desktop and start vorlix with
DISPLAY set, then try again.</source>
        <extracomment>Shown instead of starting a format or image copy. &quot;urxvt&quot; is the terminal program, &quot;DISPLAY&quot; an environment variable and &quot;XWayland&quot; the X server of a Wayland desktop; keep them as they are.</extracomment>
        <translation>Терминалу для этой задачи, urxvt, нужен X-дисплей,
но в этом сеансе Wayland его нет (DISPLAY не задана).
Ничего не отмонтировано и не записано.

Включите XWayland в своём рабочем окружении,
запустите vorlix с заданной DISPLAY и попробуйте снова.</translation>
    </message>
    <message>
        <source>vorlix: %s</source>
        <extracomment>Not shown on screen: the name screen readers give the main window. %s is the mount point, such as /media/da0s1.</extracomment>
        <translation>vorlix: %s</translation>
    </message>
</context>
</TS>
