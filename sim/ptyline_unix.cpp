#include "pseudoterminal.h"
#include "simline.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int NobodyThereRetryMs = 20;

class PtyLine : public SimLine
{
public:
    PtyLine(int master, QObject *parent) : SimLine(parent), m_master(master)
    {
        m_retryTimer.setSingleShot(true);
        connect(&m_retryTimer, &QTimer::timeout, &m_readNotifier,
                [this] { m_readNotifier.setEnabled(true); });
        connect(&m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::onReadable);
        m_writeNotifier.setEnabled(false);
        connect(&m_writeNotifier, &QSocketNotifier::activated, this, &SimLine::writable);
    }
    ~PtyLine() override
    {
        m_readNotifier.setEnabled(false);
        m_writeNotifier.setEnabled(false);
        ::close(m_master);
    }

    qint64 send(const char *data, qint64 size) override
    {
        const ssize_t written = ::write(m_master, data, size_t(size));
        if (written < 0)
            return errno == EAGAIN ? 0 : -1;
        return written;
    }
    void notifyWhenWritable(bool on) override { m_writeNotifier.setEnabled(on); }

private:
    void onReadable()
    {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                // Whoever hears the bytes may hang the line up.
                const QPointer<PtyLine> alive(this);
                emit received(QByteArray(buffer, n));
                if (!alive)
                    return;
                continue;
            }
            if (n < 0 && errno == EAGAIN)
                return;
            if (n < 0 && errno == EINTR)
                continue;
            // EIO (or end of file): no program has the serial end open yet,
            // or it has just closed it. Look again shortly instead of spinning.
            emit programLeft();
            m_readNotifier.setEnabled(false);
            m_retryTimer.start(NobodyThereRetryMs);
            return;
        }
    }

    const int m_master;
    QSocketNotifier m_readNotifier{ m_master, QSocketNotifier::Read };
    QSocketNotifier m_writeNotifier{ m_master, QSocketNotifier::Write };
    QTimer m_retryTimer;
};

} // namespace

SimLine *openPseudoTerminalLine(QObject *parent, QString *serialPath, QString *error)
{
    const int master = openPseudoTerminal(serialPath, error);
    return master < 0 ? nullptr : new PtyLine(master, parent);
}
