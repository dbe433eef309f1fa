// The serial port on Linux termios. termios2 (TCSETS2 with BOTHER) sets any
// speed, so 28800 works like the standard ones.
#include "platform/serial/serial_port.h"

#include "platform/serial/portmap.h"

#include <QSocketNotifier>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

struct LineSettings {
    unsigned baud = 9600;
    char parity = 'N';
    int data_bits = 8;
    int stop_bits = 1;  // 1 or 2 (1.5 is taken as 2)
};

bool parse_settings(const std::string& text, LineSettings& out)
{
    std::string parts[4];
    int n = 0;
    for (char c : text) {
        if (c == ',') {
            if (++n > 3) return false;
            continue;
        }
        if (c != ' ') parts[n] += c;
    }
    if (n != 3) return false;
    LineSettings s;
    char* end = nullptr;
    errno = 0;
    unsigned long baud = std::strtoul(parts[0].c_str(), &end, 10);
    if (parts[0].empty() || *end || errno || baud == 0 || baud > 4000000) return false;
    s.baud = static_cast<unsigned>(baud);
    if (parts[1].size() != 1) return false;
    char p = static_cast<char>(parts[1][0] & ~0x20);
    if (p != 'N' && p != 'E' && p != 'O' && p != 'M' && p != 'S') return false;
    s.parity = p;
    if (parts[2].size() != 1 || parts[2][0] < '5' || parts[2][0] > '8') return false;
    s.data_bits = parts[2][0] - '0';
    if (parts[3] == "1")
        s.stop_bits = 1;
    else if (parts[3] == "2" || parts[3] == "1.5")
        s.stop_bits = 2;
    else
        return false;
    out = s;
    return true;
}

} // namespace

std::int64_t Wire_Time_us(const std::string& settings, std::size_t bytes)
{
    LineSettings ls;
    parse_settings(settings, ls);
    const std::int64_t bits = 1 + ls.data_bits + (ls.parity == 'N' ? 0 : 1) + ls.stop_bits;
    return static_cast<std::int64_t>(bytes) * bits * 1000000 / ls.baud;
}

struct SerialPort::Impl {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    bool hung_up = false;
    // Bytes the driver has not taken yet, sent as it makes room.
    std::vector<std::uint8_t> out;
    std::size_t out_head = 0;
    std::unique_ptr<QSocketNotifier> write_notifier;
};

SerialPort::SerialPort() : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { Close(); }

std::string SerialPort::device_path() const
{
    if (!device_path_.empty()) return device_path_;
    if (resolver_) return resolver_(comm_port_);
    // Without the owner's map: the environment and the system's devices.
    if (auto d = PortMap().device(comm_port_)) return *d;
    return {};
}

bool SerialPort::PortOpen() const { return impl_->fd >= 0; }

bool SerialPort::set_Settings(const std::string& s)
{
    LineSettings ls;
    if (!parse_settings(s, ls)) return false;
    settings_ = s;
    if (PortOpen()) apply_settings();
    return true;
}

void SerialPort::set_Handshaking(Handshaking h)
{
    handshaking_ = h;
    if (PortOpen()) apply_settings();
}

void SerialPort::set_RTSEnable(bool on)
{
    rts_ = on;
    if (!PortOpen()) return;
    int bit = TIOCM_RTS;
    ::ioctl(impl_->fd, on ? TIOCMBIS : TIOCMBIC, &bit);  // a pty has no modem lines: ignored
}

void SerialPort::set_DTREnable(bool on)
{
    dtr_ = on;
    if (!PortOpen()) return;
    int bit = TIOCM_DTR;
    ::ioctl(impl_->fd, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void SerialPort::apply_settings()
{
    LineSettings ls;
    parse_settings(settings_, ls);
    struct termios2 t{};
    if (::ioctl(impl_->fd, TCGETS2, &t) != 0) return;
    // Raw bytes: no echo, no line editing, no translation of CR/LF, no signals.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = t.c_ospeed = ls.baud;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[ls.data_bits - 5];
    switch (ls.parity) {
    case 'E': t.c_cflag |= PARENB; break;
    case 'O': t.c_cflag |= PARENB | PARODD; break;
    case 'M': t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 'S': t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (ls.stop_bits == 2) t.c_cflag |= CSTOPB;
    if (handshaking_ == Handshaking::comXOnXoff || handshaking_ == Handshaking::comRTSXOnXOff)
        t.c_iflag |= IXON | IXOFF;
    if (handshaking_ == Handshaking::comRTS || handshaking_ == Handshaking::comRTSXOnXOff) t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::ioctl(impl_->fd, TCSETS2, &t);
}

std::int64_t SerialPort::actual_speed() const
{
    if (!PortOpen()) return 0;
    struct termios2 t{};
    if (::ioctl(impl_->fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

int SerialPort::Open()
{
    if (PortOpen()) return comPortAlreadyOpen;
    last_errno_ = 0;
    const std::string path = device_path();
    if (path.empty()) return comPortInvalid;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        last_errno_ = errno;
        if (errno == ENOENT || errno == ENODEV || errno == ENXIO) return comPortInvalid;
        if (errno == EBUSY) return comPortAlreadyOpen;  // held with TIOCEXCL
        return comPortOpenFailed;
    }
    // The lock holds against every process, root included; TIOCEXCL keeps
    // programs that do not lock from opening the device meanwhile.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        last_errno_ = errno;
        ::close(fd);
        return last_errno_ == EWOULDBLOCK ? comPortAlreadyOpen : comPortOpenFailed;
    }
    struct termios2 probe{};
    if (::ioctl(fd, TCGETS2, &probe) != 0) {  // not a terminal
        last_errno_ = errno;
        ::close(fd);
        return comPortOpenFailed;
    }
    ::ioctl(fd, TIOCEXCL);
    impl_->fd = fd;
    impl_->hung_up = false;
    apply_settings();
    set_RTSEnable(rts_);
    set_DTREnable(dtr_);
    ClearInput();
    impl_->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(impl_->notifier.get(), &QSocketNotifier::activated, [this] { notifier_activated(); });
    impl_->write_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    impl_->write_notifier->setEnabled(false);
    QObject::connect(impl_->write_notifier.get(), &QSocketNotifier::activated, [this] { flush_output(); });
    update_notifier();
    return 0;
}

void SerialPort::Close()
{
    if (!PortOpen()) return;
    impl_->notifier.reset();
    impl_->write_notifier.reset();
    impl_->out.clear();
    impl_->out_head = 0;
    ::ioctl(impl_->fd, TIOCNXCL);
    ::flock(impl_->fd, LOCK_UN);
    ::close(impl_->fd);
    impl_->fd = -1;
}

bool SerialPort::Output(std::span<const std::uint8_t> bytes)
{
    if (!PortOpen()) return false;
    impl_->out.insert(impl_->out.end(), bytes.begin(), bytes.end());
    return flush_output();
}

// Hands the driver what it takes now; the write notifier brings the rest
// when it has room. False when the device refuses writes (the queue is
// dropped).
bool SerialPort::flush_output()
{
    Impl& m = *impl_;
    if (m.fd < 0) return false;
    while (m.out_head < m.out.size()) {
        ssize_t n = ::write(m.fd, m.out.data() + m.out_head, m.out.size() - m.out_head);
        if (n > 0) {
            m.out_head += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            m.out.clear();
            m.out_head = 0;
            if (m.write_notifier) m.write_notifier->setEnabled(false);
            return false;
        }
        break;  // full: wait for room
    }
    if (m.out_head == m.out.size()) {
        m.out.clear();
        m.out_head = 0;
    }
    if (m.write_notifier) m.write_notifier->setEnabled(!m.out.empty());
    return true;
}

int SerialPort::OutBufferCount()
{
    if (!PortOpen()) return 0;
    int queued = 0;  // in the driver, not yet on the line (a pty says 0)
    if (::ioctl(impl_->fd, TIOCOUTQ, &queued) != 0) queued = 0;
    return static_cast<int>(impl_->out.size() - impl_->out_head) + queued;
}

void SerialPort::ClearOutput()
{
    if (!PortOpen()) return;
    impl_->out.clear();
    impl_->out_head = 0;
    if (impl_->write_notifier) impl_->write_notifier->setEnabled(false);
    ::ioctl(impl_->fd, TCFLSH, TCOFLUSH);
}

std::string SerialPort::Input()
{
    std::string out;
    if (!PortOpen()) return out;
    char buf[4096];
    while (out.size() < (1u << 20)) {
        ssize_t n = ::read(impl_->fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    update_notifier();
    return out;
}

int SerialPort::InBufferCount()
{
    if (!PortOpen()) return 0;
    int n = 0;
    if (::ioctl(impl_->fd, FIONREAD, &n) != 0) return 0;
    return n;
}

void SerialPort::ClearInput()
{
    if (!PortOpen()) return;
    ::ioctl(impl_->fd, TCFLSH, TCIFLUSH);
    char buf[4096];
    while (::read(impl_->fd, buf, sizeof buf) > 0) {
    }
    update_notifier();
}

void SerialPort::set_RThreshold(int n)
{
    rthreshold_ = n < 0 ? 0 : n;
    update_notifier();
}

void SerialPort::update_notifier()
{
    if (impl_->notifier) impl_->notifier->setEnabled(!impl_->hung_up);
}

void SerialPort::notifier_activated()
{
    int n = InBufferCount();
    if (n == 0) {
        // Readable with nothing to read: the other end went away.
        pollfd p{impl_->fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR))) {
            impl_->hung_up = true;
            impl_->notifier->setEnabled(false);
        }
        return;
    }
    if (rthreshold_ > 0 && n >= rthreshold_ && on_comm_) {
        comm_event_ = comEvReceive;
        auto handler = on_comm_;  // the handler may replace itself
        handler();
        if (!PortOpen()) return;
    }
    // Bytes nobody takes while the threshold is 0 (a reply is being polled)
    // stay in the driver; stop notifying until they are read, so the event
    // loop sleeps instead of spinning. Reading re-enables the notifier. With a
    // threshold set, bytes that arrived while the handler ran (the answer to
    // a packet it sent) must raise the next event, so notifying goes on.
    if (impl_->notifier && rthreshold_ == 0 && InBufferCount() > 0) impl_->notifier->setEnabled(false);
}

} // namespace platform
