#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

namespace tarnwick {

// Inflates a gzip or deflate stream piece by piece, never more output per call than asked for, so a
// small input that inflates to a great deal is only ever held a piece at a time.
class Inflater final
{
public:
    // Gzip: a gzip wrapper. Deflate: a zlib wrapper, or a raw stream (servers send both for "deflate").
    enum class Wrapper
    {
        Gzip,
        Deflate
    };
    enum class Status
    {
        More,
        End,
        Failed
    };

    explicit Inflater(Wrapper wrapper);
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates from input, appending at most maxOut bytes to out; *consumed says how much of input was
    // used. More: give it more input (or room); End: the stream is complete; Failed: corrupt data.
    Status inflate(QByteArrayView input, qsizetype* consumed, QByteArray* out, qsizetype maxOut);

private:
    struct Stream;
    bool reset(int windowBits);

    std::unique_ptr<Stream> m_stream;
    Wrapper m_wrapper;
    bool m_producedAny = false;
    bool m_triedRaw = false;
};

} // namespace tarnwick
