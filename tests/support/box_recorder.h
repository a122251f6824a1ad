#ifndef VORLIX_BOX_RECORDER_H
#define VORLIX_BOX_RECORDER_H

#include "testhook/modal_answerer.h"

#include <QByteArray>
#include <QList>

// For in-process tests: answers every modal box while it lives and keeps
// the answerer's lines ("box <text>", ...) in order.
struct BoxRecorder {
    QList<QByteArray> lines;
    ModalAnswerer answerer{[this](const QByteArray &line) { lines.append(line); }};
};

#endif
