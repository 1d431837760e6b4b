#include "log/DebugLog.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Owns every access to the log file. Appends are batched per wake-up but each batch opens and closes
// the file anew, so a file deleted while we run is simply created again.
class LogWriter {
public:
    static LogWriter &instance()
    {
        // Never destroyed: the writer thread may still be waiting on it while static objects go away.
        static LogWriter *writer = new LogWriter;
        return *writer;
    }

    void enqueue(QByteArray line)
    {
        std::lock_guard lock(mutex_);
        // The writer takes the whole queue at once: only an empty queue needs waking it.
        const bool wasEmpty = queue_.empty();
        queue_.push_back(Job{std::move(line), path_, false});
        if (wasEmpty)
            wake_.notify_one();
    }

    void enqueueReset()
    {
        std::unique_lock lock(mutex_);
        const quint64 ticket = ++submitted_;
        queue_.push_back(Job{{}, path_, true, ticket});
        wake_.notify_one();
        done_.wait(lock, [&] { return completed_ >= ticket; });
    }

    void flush()
    {
        std::unique_lock lock(mutex_);
        const quint64 ticket = ++submitted_;
        queue_.push_back(Job{{}, path_, false, ticket});
        wake_.notify_one();
        done_.wait(lock, [&] { return completed_ >= ticket; });
    }

    void setPath(const QByteArray &path)
    {
        std::lock_guard lock(mutex_);
        path_ = path;
    }

    void setEcho(FILE *stream)
    {
        std::lock_guard lock(mutex_);
        echo_ = stream;
    }

    FILE *echo()
    {
        std::lock_guard lock(mutex_);
        return echo_;
    }

private:
    struct Job {
        QByteArray bytes;
        QByteArray path;
        bool reset = false;
        quint64 ticket = 0;
    };

    LogWriter()
        : thread_([this] { run(); })
    {
        thread_.detach(); // lives as long as the process
    }

    void run()
    {
        std::deque<Job> batch;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return !queue_.empty(); });
                batch.swap(queue_);
            }
            QByteArray pending;
            QByteArray pendingPath;
            for (Job &job : batch) {
                if (!job.bytes.isEmpty() && job.path == pendingPath) {
                    pending += job.bytes;
                    continue;
                }
                write(pendingPath, pending);
                pending.clear();
                pendingPath = job.path;
                if (job.reset)
                    truncate(job.path);
                if (!job.bytes.isEmpty())
                    pending = std::move(job.bytes);
                if (job.ticket)
                    complete(job.ticket);
            }
            write(pendingPath, pending);
            batch.clear();
        }
    }

    void complete(quint64 ticket)
    {
        std::lock_guard lock(mutex_);
        completed_ = std::max(completed_, ticket);
        done_.notify_all();
    }

    // Opens the file without following a link and only if it is ours: the directory is shared by all users.
    int openOwned(const QByteArray &path, int extraFlags)
    {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | extraFlags, 0600);
        if (fd < 0) {
            if (errno == ELOOP)
                refuse(path, "it is a symbolic link");
            else
                report(path, std::strerror(errno));
            return -1;
        }
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
            ::close(fd);
            refuse(path, "it is not a regular file owned by this user");
            return -1;
        }
        // Another name for the same file could be anything of the user's that someone linked there.
        if (info.st_nlink > 1) {
            ::close(fd);
            refuse(path, "it has other hard links");
            return -1;
        }
        // A file from before keeps whatever mode it had, and the log holds what the user asked about.
        if ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
            ::close(fd);
            refuse(path, "its mode cannot be made private");
            return -1;
        }
        return fd;
    }

    void write(const QByteArray &path, const QByteArray &bytes)
    {
        if (path.isEmpty() || bytes.isEmpty() || refused_ == path)
            return;
        const int fd = openOwned(path, O_APPEND);
        if (fd < 0)
            return;
        qsizetype offset = 0;
        while (offset < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + offset, size_t(bytes.size() - offset));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                report(path, std::strerror(errno));
                break;
            }
            offset += n;
        }
        ::close(fd);
    }

    void truncate(const QByteArray &path)
    {
        if (path.isEmpty())
            return;
        refused_.clear();
        // Truncate only after the ownership check: O_TRUNC would empty a foreign file before it.
        const int fd = openOwned(path, 0);
        if (fd < 0)
            return;
        if (::ftruncate(fd, 0) != 0)
            report(path, std::strerror(errno));
        ::close(fd);
    }

    void refuse(const QByteArray &path, const char *why)
    {
        if (refused_ == path)
            return;
        refused_ = path;
        print("[DebugLog] Not writing log file " + path + ": " + why + "; logging to standard output only\n");
    }

    void report(const QByteArray &, const char *error)
    {
        print(QByteArray("[DebugLog] Failed to write log file: ") + error + '\n');
    }

    void print(const QByteArray &text)
    {
        if (FILE *stream = echo()) {
            std::fwrite(text.constData(), 1, size_t(text.size()), stream);
            std::fflush(stream);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job> queue_;
    QByteArray path_ = DebugLog::defaultFilePath;
    FILE *echo_ = stdout;
    quint64 submitted_ = 0;
    quint64 completed_ = 0;
    QByteArray refused_; // writer thread only
    std::thread thread_;
};

QByteArray utcTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return QByteArray(text, qsizetype(n));
}

} // namespace

QString DebugLog::formatLine(const QString &category, const QString &message)
{
    return u'[' + QString::fromLatin1(utcTimestamp()) + u"] [" + category + u"] " + message;
}

void DebugLog::log(const QString &category, const QString &message)
{
    LogWriter &writer = LogWriter::instance();
    QByteArray line = formatLine(category, message).toUtf8() + '\n';
    if (FILE *stream = writer.echo()) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stream); // one call: whole lines across threads
        std::fflush(stream);
    }
    writer.enqueue(std::move(line));
}

void DebugLog::reset()
{
    LogWriter::instance().enqueueReset();
}

void DebugLog::flush()
{
    LogWriter::instance().flush();
}

void DebugLog::setFilePath(const QString &path)
{
    LogWriter::instance().setPath(QFile::encodeName(path));
}

void DebugLog::setEcho(FILE *stream)
{
    LogWriter::instance().setEcho(stream);
}
