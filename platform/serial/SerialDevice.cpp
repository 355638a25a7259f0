#include "SerialDevice.h"

#include "SerialErrors.h"
#include "SerialPortList.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

int pollRetrying(pollfd* fds, nfds_t count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int left = timeoutMs < 0 ? -1 : qMax<qint64>(0, timeoutMs - clock.elapsed());
        const int n = ::poll(fds, count, left);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// Unix98 pseudo-terminal slaves use majors 136 to 143.
bool isPseudoTerminal(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

} // namespace

SerialDevice::SerialDevice()
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

SerialDevice::~SerialDevice()
{
    close();
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

quint32 SerialDevice::open(int portNumber)
{
    close();
    const QString path = SerialPortList::devicePathFor(portNumber);
    if (path.isEmpty())
        return SerialErrors::FileNotFound;
    return openPath(path);
}

quint32 SerialDevice::openPath(const QString& devicePath)
{
    close();
    // Other serial programs look for the UUCP lock before they open a port; so do we.
    if (m_lock.take(devicePath) == PortLock::Result::Held)
        return SerialErrors::SharingViolation;
    const int fd = ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        m_lock.release();
        return err == EBUSY ? SerialErrors::SharingViolation : SerialErrors::fromErrno(err);
    }
    // A privileged opener passes another's TIOCEXCL: the flag is asked for instead.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) {
        ::close(fd);
        m_lock.release();
        return SerialErrors::SharingViolation;
    }
    // TIOCEXCL alone does not stop a privileged second opener; the lock does.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        m_lock.release();
        return err == EWOULDBLOCK ? SerialErrors::SharingViolation : SerialErrors::fromErrno(err);
    }
    m_fd = fd;
    const quint32 error = configure();
    if (error != SerialErrors::Success)
        close();
    return error;
}

quint32 SerialDevice::configure()
{
    // The lock taken in openPath() keeps other openers out and dies with its
    // holder. A real line also gets the kernel's exclusive flag, which it drops
    // at the last close; a pseudo-terminal keeps that flag for as long as its
    // master is open, so a crashed holder would lock out other users for good.
    if (!isPseudoTerminal(m_fd) && ::ioctl(m_fd, TIOCEXCL) != 0)
        return SerialErrors::fromErrno(errno);
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return SerialErrors::fromErrno(errno);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return SerialErrors::fromErrno(errno);
    // Raise DTR and RTS for modems that want them; pseudo-terminals refuse, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(m_fd, TIOCMBIS, &lines);
    return SerialErrors::Success;
}

void SerialDevice::close()
{
    if (m_fd >= 0) {
        (void)::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);
        m_fd = -1;
    }
    m_lock.release();
}

quint32 SerialDevice::write(const QByteArray& bytes, int timeoutMs)
{
    if (m_fd < 0)
        return SerialErrors::InvalidHandle;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return SerialErrors::fromErrno(errno);
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = pollRetrying(&pfd, 1, timeoutMs);
        if (ready < 0)
            return SerialErrors::fromErrno(errno);
        if (ready == 0)
            return SerialErrors::SemTimeout;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))
            return SerialErrors::IoDevice;
    }
    return SerialErrors::Success;
}

quint32 SerialDevice::read(QByteArray& out)
{
    out.clear();
    if (m_fd < 0)
        return SerialErrors::InvalidHandle;
    out.resize(MaxReadSize);
    for (;;) {
        const ssize_t n = ::read(m_fd, out.data(), size_t(MaxReadSize));
        if (n > 0) {
            out.truncate(n);
            return SerialErrors::Success;
        }
        out.clear();
        if (n == 0) {
            // A raw terminal reads 0 both when nothing waits and after a hang-up.
            pollfd pfd{m_fd, POLLIN, 0};
            if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)))
                return SerialErrors::IoDevice;
            return SerialErrors::Success;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return SerialErrors::Success;
        return SerialErrors::fromErrno(errno);
    }
}

SerialDevice::WaitResult SerialDevice::waitForCharacter(int timeoutMs, quint32* error)
{
    if (error)
        *error = SerialErrors::Success;
    if (m_fd < 0) {
        if (error)
            *error = SerialErrors::InvalidHandle;
        return WaitResult::Failed;
    }
    drainWakePipe();
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    const int ready = pollRetrying(fds, m_wake[0] >= 0 ? 2 : 1, timeoutMs);
    if (ready < 0) {
        if (error)
            *error = SerialErrors::fromErrno(errno);
        return WaitResult::Failed;
    }
    if (ready == 0)
        return WaitResult::TimedOut;
    // A hung-up line also reports itself readable; the hang-up decides.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        if (error)
            *error = SerialErrors::IoDevice;
        return WaitResult::Failed;
    }
    if (fds[0].revents & POLLIN)
        return WaitResult::CharacterArrived;
    drainWakePipe();
    return WaitResult::Cancelled;
}

void SerialDevice::cancelWait()
{
    if (m_wake[1] >= 0) {
        const char byte = 1;
        (void)!::write(m_wake[1], &byte, 1);
    }
}

void SerialDevice::drainWakePipe()
{
    char sink[64];
    while (m_wake[0] >= 0 && ::read(m_wake[0], sink, sizeof sink) > 0) {
    }
}
