#include "SupportLibrary.h"

#include "base/ProgramDir.h"
#include "zarvek/Zarvek.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

namespace kestrune::zarvek {

namespace {

// The signatures come from the library's own header, so the two cannot drift
// apart; the functions themselves are only ever reached through the pointers.
using Crc16Fn = decltype(&::CRC16);
using FillStringFn = decltype(&::FillString);

// One binding for the whole program. A bound function is read without a lock
// (an atomic pointer); binding, failures and the reset run under the mutex.
class Loader {
public:
    Crc16Fn crc16(QString* error) { return bound(crc16_, "CRC16", error); }
    FillStringFn fillString(QString* error) { return bound(fillString_, "FillString", error); }

    QString lastError() {
        QMutexLocker lock(&mutex_);
        return lastError_;
    }

    bool isBound() const {
        return crc16_.load(std::memory_order_acquire) != nullptr &&
               fillString_.load(std::memory_order_acquire) != nullptr;
    }

    void reset() {
        QMutexLocker lock(&mutex_);
        crc16_.store(nullptr, std::memory_order_release);
        fillString_.store(nullptr, std::memory_order_release);
        if (library_.isLoaded())
            (void)library_.unload();
        library_.setFileName(QString());
        lastError_.clear();
    }

    void fail(const QString& text, QString* error) {
        {
            QMutexLocker lock(&mutex_);
            lastError_ = text;
        }
        if (error)
            *error = text;
    }

private:
    template <typename Fn> Fn bound(std::atomic<Fn>& slot, const char* name, QString* error) {
        if (Fn fn = slot.load(std::memory_order_acquire))
            return fn;
        QString text;
        {
            QMutexLocker lock(&mutex_);
            if (Fn fn = slot.load(std::memory_order_acquire))
                return fn;
            if (load(text)) {
                if (auto fn = reinterpret_cast<Fn>(library_.resolve(name))) {
                    slot.store(fn, std::memory_order_release);
                    return fn;
                }
                text = QStringLiteral("The support library \"%1\" does not export the function "
                                      "\"%2\": %3")
                           .arg(QDir::toNativeSeparators(library_.fileName()), QLatin1String(name),
                                library_.errorString());
            }
            lastError_ = text;
        }
        if (error)
            *error = text;
        return nullptr;
    }

    // Loads the library when it is not loaded yet: beside the program first
    // (the system's loader never looks there by itself), then by its bare
    // name through the system's library search path. A failure is retried at
    // the next call, so a library put in place later is still found.
    bool load(QString& error) {
        if (library_.isLoaded())
            return true;
        const QString dir = libraryDir();
        const QString besideProgram = dir + libraryFileName();
        library_.setFileName(besideProgram);
        if (library_.load())
            return true;
        const QString besideReason = library_.errorString();
        library_.setFileName(QStringLiteral("Zarvek"));
        if (library_.load())
            return true;
        // When the file beside the program exists but does not load, that is
        // the reason worth showing; otherwise the system loader's.
        const QString reason =
            QFileInfo::exists(besideProgram) ? besideReason : library_.errorString();
        library_.setFileName(QString());
        error = QStringLiteral("The support library \"%1\" could not be loaded from %2 or the "
                               "system library path: %3")
                    .arg(libraryFileName(), QDir::toNativeSeparators(dir), reason);
        return false;
    }

    QMutex mutex_;
    QLibrary library_;
    std::atomic<Crc16Fn> crc16_{nullptr};
    std::atomic<FillStringFn> fillString_{nullptr};
    QString lastError_;
};

// Created on first use and never destroyed: the bound functions stay valid
// until the very end of the program, whatever the order of static teardown.
Loader& loader() {
    static Loader& instance = *new Loader;
    return instance;
}

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace

QString libraryFileName() {
    return QStringLiteral("libZarvek.so");
}

bool crc16(const QByteArray& data, uint16_t& crc, QString* error) {
    const Crc16Fn fn = loader().crc16(error);
    if (!fn)
        return false;
    if (data.size() > kMaxCrcLength) {
        loader().fail(QStringLiteral("CRC16 covers at most %1 bytes, not %2.")
                          .arg(kMaxCrcLength)
                          .arg(data.size()),
                      error);
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.constData());
    crc = static_cast<uint16_t>(fn(bytes, static_cast<uint32_t>(data.size())) & 0xFFFFu);
    return true;
}

bool fillString(const QByteArray& source, int type, int order, QString& text, QString* error) {
    const FillStringFn fn = loader().fillString(error);
    if (!fn)
        return false;
    // The program's buffer: blanks, one zero byte past the end as a stop
    // even if the library left no terminator.
    char buffer[kTextBufferSize + 1];
    std::memset(buffer, ' ', kTextBufferSize);
    buffer[kTextBufferSize] = '\0';
    // A longer source than any type's width is refused by the library; the
    // length passed never exceeds what source holds.
    const auto length = static_cast<int32_t>(
        std::min<qsizetype>(source.size(), std::numeric_limits<int32_t>::max()));
    (void)fn(reinterpret_cast<const uint8_t*>(source.constData()), type, order, buffer, length);
    const auto used = static_cast<qsizetype>(qstrnlen(buffer, kTextBufferSize));
    text = trimBlanks(QString::fromLatin1(buffer, used));
    return true;
}

QString lastError() {
    return loader().lastError();
}

bool isBound() {
    return loader().isBound();
}

void resetForTests() {
    loader().reset();
}

} // namespace kestrune::zarvek
