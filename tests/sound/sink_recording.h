#pragma once

#include <QProcess>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace sound_test {

// What the default sound output plays, recorded from its monitor with parec,
// one channel at 44100 Hz. A silent stream is kept playing meanwhile, so that a
// null sink works at a device's steady pace (idle, it would batch its work).
class SinkRecording {
public:
    static constexpr int Rate = 44100;

    ~SinkRecording() {
        for (QProcess* process : {&recorder_, &keeper_}) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    // False when the tools or the server are not there.
    bool Start() {
        const QStringList format{"--raw", "--format=s16le", "--rate=44100", "--channels=1",
                                 "--latency-msec=20"};
        keeper_.start("pacat", format + QStringList{"/dev/zero"});
        recorder_.start("parec", format + QStringList{"-d", "@DEFAULT_MONITOR@"});
        if (!keeper_.waitForStarted(5000) || !recorder_.waitForStarted(5000))
            return false;
        // Live once it delivers (what comes in from then on is now), and
        // settled when the server has adjusted to the two new streams.
        for (int i = 0; i < 100 && Now() < Rate / 2; ++i)
            QTest::qWait(50);
        return Now() >= Rate / 2;
    }

    // Samples recorded so far: the recording's clock.
    std::int64_t Now() {
        const QByteArray bytes = recorder_.readAllStandardOutput();
        pending_.append(bytes);
        const qsizetype whole = pending_.size() / 2 * 2;
        const auto* s = reinterpret_cast<const std::int16_t*>(pending_.constData());
        samples_.insert(samples_.end(), s, s + whole / 2);
        pending_.remove(0, whole);
        return static_cast<std::int64_t>(samples_.size());
    }

    static std::int64_t Samples(double seconds) {
        return static_cast<std::int64_t>(seconds * Rate);
    }

    struct Sound {
        std::int64_t First = -1; // first loud sample, -1 when none
        std::int64_t Last = -1;
        std::int64_t LongestGap = 0; // quiet samples in a row between them
        std::int64_t Gaps = 0;       // quiet samples in runs of over 5 ms between them
        // How long it sounded: a machine too busy to feed the server in time adds gaps.
        double Seconds() const { return First < 0 ? 0.0 : double(Last - First - Gaps) / Rate; }
    };

    // The sound between two points of the recording (a tone well above the threshold).
    Sound Between(std::int64_t from, std::int64_t to) {
        Now();
        Sound sound;
        to = std::min<std::int64_t>(to, static_cast<std::int64_t>(samples_.size()));
        for (std::int64_t i = std::max<std::int64_t>(from, 0); i < to; ++i) {
            if (std::abs(samples_[static_cast<std::size_t>(i)]) < 2000)
                continue;
            if (sound.First < 0)
                sound.First = i;
            else
                Quiet(sound, i - sound.Last - 1);
            sound.Last = i;
        }
        return sound;
    }

private:
    static void Quiet(Sound& sound, std::int64_t run) {
        sound.LongestGap = std::max(sound.LongestGap, run);
        if (run > Rate / 200)
            sound.Gaps += run;
    }

    QProcess keeper_;
    QProcess recorder_;
    QByteArray pending_;
    std::vector<std::int16_t> samples_;
};

} // namespace sound_test
