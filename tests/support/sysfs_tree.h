#ifndef VORLIX_SYSFS_TREE_H
#define VORLIX_SYSFS_TREE_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// A tree shaped like Linux's /sys, for the disk lookups: devices/<path>
// folders with dev, uevent and removable files (a partition has a
// partition file instead), dev/block/MAJ:MIN links to them, the subsystem
// link of a device on a bus, and holders/slaves for devices built on
// others. Links are relative, as the kernel makes them.
class SysfsTree
{
public:
    QString root() const { return dir.path(); }

    void disk(const QString &path, const QByteArray &maj_min, const QByteArray &removable = "0")
    {
        node(path, maj_min, "disk");
        write(root() + "/devices/" + path + "/removable", removable + '\n');
    }

    void partition(const QString &path, const QByteArray &maj_min)
    {
        node(path, maj_min, "partition");
        write(root() + "/devices/" + path + "/partition", "1\n");
    }

    // The device folder sits on a bus: usb, mmc, pci, scsi...
    void on_bus(const QString &path, const QString &bus)
    {
        QDir().mkpath(root() + "/bus/" + bus);
        QDir().mkpath(root() + "/devices/" + path);
        link(root() + "/devices/" + path + "/subsystem", root() + "/bus/" + bus);
    }

    // A file name of the device folder at path (size, diskseq; a USB
    // device's idVendor and serial) that reads value.
    void attribute(const QString &path, const QString &name, const QByteArray &value)
    {
        QDir().mkpath(root() + "/devices/" + path);
        write(root() + "/devices/" + path + "/" + name, value + '\n');
    }

    // holder is built on below (as dm-crypt on a partition).
    void holder(const QString &holder, const QString &below)
    {
        const QString h = root() + "/devices/" + holder, b = root() + "/devices/" + below;
        link(b + "/holders/" + holder.section('/', -1), h);
        link(h + "/slaves/" + below.section('/', -1), b);
    }

private:
    void node(const QString &path, const QByteArray &maj_min, const QByteArray &type)
    {
        const QString d = root() + "/devices/" + path;
        QDir().mkpath(d + "/holders");
        QDir().mkpath(d + "/slaves");
        QDir().mkpath(d + "/power"); // folders that are not partitions sit beside them
        write(d + "/dev", maj_min + '\n');
        write(d + "/uevent", "MAJOR=" + maj_min.split(':')[0] + "\nMINOR=" + maj_min.split(':')[1]
                                 + "\nDEVNAME=" + path.section('/', -1).toUtf8() + "\nDEVTYPE=" + type + '\n');
        QDir().mkpath(root() + "/dev/block");
        link(root() + "/dev/block/" + maj_min, d);
    }

    static void write(const QString &file, const QByteArray &text)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    static void link(const QString &name, const QString &target)
    {
        QVERIFY(QFile::link(QFileInfo(name).dir().relativeFilePath(target), name));
    }

    QTemporaryDir dir;
};

#endif
