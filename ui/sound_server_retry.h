#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <vector>

// Qt's connections to the PulseAudio server (more than one: the media
// plugin has its own) try again 3 s after they are lost, and if the server is
// still gone then, never again in this process: every sink after that fails
// at once. They are objects of Qt's own, unreachable by its interface; each
// shows itself to an application event filter when it is called across
// threads, says when it is lost, and has a slot to connect again. With a Qt
// that has none of these, TryAgain does nothing.
class SoundServerRetry : public QObject {
    Q_OBJECT

public:
    // Watches from now on; called before any sink is made.
    static void Watch();
    // Has each connection made again unless it is about to try by itself:
    // true when one was asked to.
    static bool TryAgain();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Lost();

private:
    struct Connection {
        QPointer<QObject> Object;
        QElapsedTimer SinceLoss;
    };

    explicit SoundServerRetry(QObject* parent);
    Connection* Find(const QObject* object);

    static SoundServerRetry* instance_;
    std::vector<Connection> connections_;
};
