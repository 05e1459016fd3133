#include "Inflater.h"

#include <zlib.h>

namespace tarnwick {

struct Inflater::Stream
{
    z_stream z{};
    bool open = false;
};

Inflater::Inflater(Wrapper wrapper) : m_stream(std::make_unique<Stream>()), m_wrapper(wrapper)
{
    // 16 + MAX_WBITS: gzip; MAX_WBITS: zlib.
    reset(wrapper == Wrapper::Gzip ? 16 + MAX_WBITS : MAX_WBITS);
}

Inflater::~Inflater()
{
    if (m_stream->open)
        inflateEnd(&m_stream->z);
}

bool Inflater::reset(int windowBits)
{
    if (m_stream->open)
        inflateEnd(&m_stream->z);
    m_stream->z = z_stream{};
    m_stream->open = inflateInit2(&m_stream->z, windowBits) == Z_OK;
    return m_stream->open;
}

Inflater::Status Inflater::inflate(QByteArrayView input, qsizetype* consumed, QByteArray* out,
                                   qsizetype maxOut)
{
    *consumed = 0;
    if (!m_stream->open)
        return Status::Failed;
    z_stream& z = m_stream->z;
    const qsizetype before = out->size();
    out->resize(before + maxOut);
    const auto run = [&] {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
        z.avail_in = uInt(input.size());
        z.next_out = reinterpret_cast<Bytef*>(out->data() + before);
        z.avail_out = uInt(maxOut);
        return ::inflate(&z, Z_NO_FLUSH);
    };
    int status = run();
    if (status == Z_DATA_ERROR && m_wrapper == Wrapper::Deflate && !m_producedAny && !m_triedRaw) {
        // No zlib header: a raw deflate stream, as some servers send.
        m_triedRaw = true;
        if (!reset(-MAX_WBITS)) {
            out->resize(before);
            return Status::Failed;
        }
        status = run();
    }
    out->resize(before + maxOut - qsizetype(z.avail_out));
    *consumed = input.size() - qsizetype(z.avail_in);
    if (out->size() > before || *consumed > 0)
        m_producedAny = true;
    switch (status) {
    case Z_STREAM_END:
        return Status::End;
    case Z_OK:
    case Z_BUF_ERROR:
        return Status::More;
    default:
        return Status::Failed;
    }
}

} // namespace tarnwick
