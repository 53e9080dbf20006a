#include "ui/sound_server_retry.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

constexpr const char* ConnectionClass = "QPulseAudioEngine";
// Once lost, a connection tries again by itself 3 s later; asked to before
// that, it would be made twice.
constexpr qint64 OwnRetryMs = 3500;

} // namespace

SoundServerRetry* SoundServerRetry::instance_ = nullptr;

SoundServerRetry::SoundServerRetry(QObject* parent) : QObject(parent) {
    parent->installEventFilter(this);
}

void SoundServerRetry::Watch() {
    if (instance_ == nullptr && QCoreApplication::instance() != nullptr)
        instance_ = new SoundServerRetry(QCoreApplication::instance());
}

SoundServerRetry::Connection* SoundServerRetry::Find(const QObject* object) {
    for (Connection& connection : connections_)
        if (connection.Object == object)
            return &connection;
    return nullptr;
}

// A connection is called across threads on this one before it can be lost;
// once it is known, its loss is heard by its own signal.
bool SoundServerRetry::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MetaCall &&
        qstrcmp(watched->metaObject()->className(), ConnectionClass) == 0 &&
        Find(watched) == nullptr && connect(watched, SIGNAL(contextFailed()), this, SLOT(Lost())))
        connections_.push_back({watched, {}});
    return false;
}

void SoundServerRetry::Lost() {
    if (Connection* connection = Find(sender()))
        connection->SinceLoss.start();
}

bool SoundServerRetry::TryAgain() {
    if (instance_ == nullptr)
        return false;
    bool asked = false;
    for (const Connection& connection : instance_->connections_) {
        if (connection.Object == nullptr ||
            (connection.SinceLoss.isValid() && connection.SinceLoss.elapsed() < OwnRetryMs))
            continue;
        asked |= QMetaObject::invokeMethod(connection.Object, "prepare", Qt::DirectConnection);
    }
    return asked;
}
