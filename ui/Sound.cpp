#include "ui/Sound.h"

#include "ui/Resources.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <mmsystem.h>
#include <windows.h>
#else
#include <pulse/error.h>
#include <pulse/simple.h>
#endif

namespace {

// What the player thread needs: the samples stay in the program's resource data, which
// lives as long as the process.
struct PcmSound {
    const char* samples = nullptr;
    size_t bytes = 0;
    quint32 rate = 0;
    quint16 channels = 0;
    quint16 bits = 0;
};

// Finds the format and sample data of a RIFF WAVE file; false unless it is 8- or 16-bit PCM.
bool parseWav(const QByteArray& wav, PcmSound& out) {
    const char* p = wav.constData();
    const qsizetype n = wav.size();
    if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    qsizetype pos = 12;
    while (pos + 8 <= n) {
        const quint32 size = qFromLittleEndian<quint32>(p + pos + 4);
        const qsizetype body = pos + 8;
        if (size > static_cast<quint64>(n - body))
            return false;
        if (std::memcmp(p + pos, "fmt ", 4) == 0 && size >= 16) {
            const quint16 tag = qFromLittleEndian<quint16>(p + body);
            out.channels = qFromLittleEndian<quint16>(p + body + 2);
            out.rate = qFromLittleEndian<quint32>(p + body + 4);
            out.bits = qFromLittleEndian<quint16>(p + body + 14);
            haveFormat = tag == 1 && out.channels >= 1 && out.channels <= 8 && out.rate >= 1000 &&
                         out.rate <= 192000 && (out.bits == 8 || out.bits == 16);
        } else if (std::memcmp(p + pos, "data", 4) == 0) {
            if (!haveFormat)
                return false;
            out.samples = p + body;
            out.bytes = size;
            return size > 0;
        }
        pos = body + size + (size & 1);
    }
    return false;
}

#ifndef _WIN32
// Shared with the player threads. Allocated once and never freed, so a player that is still
// finishing while the process exits never touches a destroyed object.
struct Players {
    std::mutex lock;
    std::condition_variable idle;
    int running = 0;
    int started = 0;
    std::atomic<bool> quitting{false};
};

Players& players() {
    static Players* p = new Players;
    return *p;
}

// At exit: ask players to stop after their current block and give them a moment to close
// their connection. Exit never waits longer than this.
struct ExitGuard {
    ~ExitGuard() {
        Players& p = players();
        p.quitting = true;
        std::unique_lock<std::mutex> hold(p.lock);
        p.idle.wait_for(hold, std::chrono::milliseconds(300), [&] { return p.running == 0; });
    }
};

void playPcm(PcmSound sound) {
    Players& p = players();
    pa_sample_spec sampleFormat;
    sampleFormat.format = sound.bits == 16 ? PA_SAMPLE_S16LE : PA_SAMPLE_U8;
    sampleFormat.rate = sound.rate;
    sampleFormat.channels = static_cast<uint8_t>(sound.channels);
    int error = 0;
    pa_simple* stream =
        p.quitting ? nullptr
                   : pa_simple_new(nullptr, "Tallowick!", PA_STREAM_PLAYBACK, nullptr,
                                   "Ranking complete", &sampleFormat, nullptr, nullptr, &error);
    if (stream) {
        // Small blocks, so a quitting program is never held up by the rest of the sound.
        const size_t frame = static_cast<size_t>(sound.channels) * (sound.bits / 8);
        const size_t block = std::max<size_t>(frame, sound.rate / 20 * frame);
        bool ok = true;
        for (size_t done = 0; ok && done < sound.bytes && !p.quitting; done += block) {
            const size_t len = std::min(block, sound.bytes - done);
            ok = pa_simple_write(stream, sound.samples + done, len, &error) == 0;
        }
        if (ok && !p.quitting)
            pa_simple_drain(stream, &error);
        pa_simple_free(stream);
    }
    std::lock_guard<std::mutex> hold(p.lock);
    --p.running;
    p.idle.notify_all();
}
#endif

} // namespace

void PlayResourceSound(int id) {
    PcmSound sound;
    const QByteArray wav = tw::resourceData(id);
    if (!parseWav(wav, sound))
        return;
#ifdef _WIN32
    PlaySoundA(wav.constData(), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
#else
    static ExitGuard guard;
    Players& p = players();
    {
        std::lock_guard<std::mutex> hold(p.lock);
        if (p.quitting)
            return;
        ++p.running;
        ++p.started;
    }
    try {
        std::thread(playPcm, sound).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> hold(p.lock);
        --p.running;
        --p.started;
    }
#endif
}

namespace tw::testing {
bool waitForSounds(int timeoutMs) {
#ifdef _WIN32
    Q_UNUSED(timeoutMs);
    return true;
#else
    Players& p = players();
    std::unique_lock<std::mutex> hold(p.lock);
    return p.idle.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                           [&] { return p.running == 0; });
#endif
}

int soundsStarted() {
#ifdef _WIN32
    return 0;
#else
    Players& p = players();
    std::lock_guard<std::mutex> hold(p.lock);
    return p.started;
#endif
}
} // namespace tw::testing
