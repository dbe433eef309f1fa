#include "device/link/detail/deframer.h"

#include <algorithm>
#include <cstring>

namespace brenvik::detail {

void Deframer::append(std::string_view bytes)
{
    compact();
    buf_.append(bytes.data(), bytes.size());
}

void Deframer::compact()
{
    if (head_ == 0) return;
    if (head_ == buf_.size()) {
        buf_.clear();
        scan_ = scan_ >= head_ ? scan_ - head_ : 0;
        dle_seen_ = 0;
        head_ = 0;
        return;
    }
    if (head_ < 4096 || head_ < buf_.size() / 2) return;
    buf_.erase(0, head_);
    scan_ -= head_;
    dle_seen_ = dle_seen_ >= head_ ? dle_seen_ - head_ : 0;
    head_ = 0;
}

std::size_t Deframer::find_dle()
{
    const std::size_t from = std::max(head_, dle_seen_);
    const void* p = std::memchr(buf_.data() + from, DLE, buf_.size() - from);
    if (!p) {
        dle_seen_ = buf_.size();
        return std::string_view::npos;
    }
    dle_seen_ = static_cast<std::size_t>(static_cast<const char*>(p) - buf_.data());
    return dle_seen_ - head_;
}

std::size_t Deframer::allowed_length(std::size_t len) const
{
    if (len < 3) return kMaxFrame;
    if (cur_[1] != expanded_id_) return std::size_t(cur_[2]) + 4;
    if (len < 7) return kMaxFrame;
    // The expanded form: a 32-bit payload length after the size byte, a
    // 16-bit ID, the payload and the checksum.
    const std::uint64_t payload = std::uint64_t(cur_[3]) | std::uint64_t(cur_[4]) << 8 |
                                  std::uint64_t(cur_[5]) << 16 | std::uint64_t(cur_[6]) << 24;
    return static_cast<std::size_t>(std::min<std::uint64_t>(payload + 10, kMaxFrame));
}

bool Deframer::noise(Frame& f)
{
    // Only the DLE is taken: what follows it is read again as text.
    f.status = FrameStatus::Noise;
    f.packet.clear();
    head_ += 1;
    scan_ = head_;
    len_ = 0;
    st_ = St::Hunt;
    return true;
}

void Deframer::consume(std::size_t n)
{
    if (st_ != St::Hunt) return;
    head_ += std::min(n, buf_.size() - head_);
}

void Deframer::clear()
{
    buf_.clear();
    head_ = scan_ = dle_seen_ = 0;
    st_ = St::Hunt;
    len_ = 0;
}

void Deframer::finish_frame(Frame& f)
{
    cur_[len_++] = DLE;
    cur_[len_++] = ETX;
    const std::size_t n = len_;
    if (n < 7) {
        f.status = FrameStatus::Empty;
    } else if (cur_[1] != expanded_id_ && cur_[2] != n - 6) {
        f.status = FrameStatus::BadSize;
    } else {
        f.status = FrameStatus::Ok;
    }
    f.packet.assign(cur_.begin(), cur_.begin() + static_cast<std::ptrdiff_t>(n));
    len_ = 0;
}

bool Deframer::next(Frame& out)
{
    const char* data = buf_.data();
    const std::size_t size = buf_.size();
    for (;;) {
        switch (st_) {
        case St::Hunt: {
            const void* p = std::memchr(data + head_, DLE, size - head_);
            if (!p) return false;
            head_ = static_cast<std::size_t>(static_cast<const char*>(p) - data);
            scan_ = head_ + 1;
            cur_[0] = DLE;
            len_ = 1;
            st_ = St::Id;
            break;
        }
        case St::Id: {
            if (scan_ >= size) return false;
            std::uint8_t b = static_cast<std::uint8_t>(data[scan_++]);
            if (b == ETX) {
                if (text_stream_) return noise(out);
                // A lone DLE ETX: the tail of a frame we never saw begin.
                head_ = scan_;
                st_ = St::Hunt;
                break;
            }
            cur_[len_++] = b;
            st_ = St::Body;
            break;
        }
        case St::Body:
        case St::BodyDle: {
            // The hot loop: un-stuff straight into the frame buffer.
            const std::uint8_t* p = reinterpret_cast<const std::uint8_t*>(data) + scan_;
            const std::uint8_t* const e = reinterpret_cast<const std::uint8_t*>(data) + size;
            std::uint8_t* const out_buf = cur_.data();
            std::size_t len = len_;
            bool dle = st_ == St::BodyDle;
            std::size_t allowed = text_stream_ ? allowed_length(len) : kMaxFrame;
            while (p < e) {
                std::uint8_t b = *p++;
                if (dle) {
                    dle = false;
                    if (b == DLE) {
                        out_buf[len++] = DLE;
                    } else if (b == ETX) {
                        if (text_stream_ && (len != allowed || len < 5)) return noise(out);
                        len_ = len;
                        scan_ = static_cast<std::size_t>(p - reinterpret_cast<const std::uint8_t*>(data));
                        head_ = scan_;
                        st_ = St::Hunt;
                        finish_frame(out);
                        return true;
                    } else if (text_stream_) {
                        return noise(out);
                    } else {
                        // DLE followed by neither DLE nor ETX: the frame was cut
                        // short and this DLE begins the next one.
                        out.status = FrameStatus::Broken;
                        out.packet.assign(cur_.begin(), cur_.begin() + static_cast<std::ptrdiff_t>(len));
                        head_ = static_cast<std::size_t>(p - reinterpret_cast<const std::uint8_t*>(data)) - 2;
                        scan_ = head_ + 1;
                        len_ = 1;
                        st_ = St::Id;
                        return true;
                    }
                } else if (b == DLE) {
                    dle = true;
                    continue;
                } else {
                    out_buf[len++] = b;
                }
                if (text_stream_) {
                    if (len <= 7) allowed = allowed_length(len);
                    if (len > allowed || len >= kMaxFrame) return noise(out);
                }
                if (len >= kMaxFrame) {
                    // Longer than any packet: report it and look for the next start.
                    out.status = FrameStatus::Broken;
                    out.packet.assign(cur_.begin(), cur_.begin() + 3);
                    head_ = static_cast<std::size_t>(p - reinterpret_cast<const std::uint8_t*>(data));
                    len_ = 0;
                    st_ = St::Hunt;
                    return true;
                }
            }
            len_ = len;
            scan_ = size;
            st_ = dle ? St::BodyDle : St::Body;
            return false;
        }
        }
    }
}

} // namespace brenvik::detail
