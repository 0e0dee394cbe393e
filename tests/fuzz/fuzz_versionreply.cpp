// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers

// The version service's two replies, as the updater receives them. Input: a
// 2-byte little-endian length L, then the version list datagram (L bytes, or
// what is left), then the news datagram. A loopback service on 127.0.0.240
// sends both to a real UpdateChecker query; the result must equal what the
// parsers make of the replies cut at the read limits, and must hold together.
// The service signals the client while it waits for each reply.

#include "fuzzsupport.h"

#include "config/configuration.h"
#include "config/updatechecker.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QList>
#include <QPair>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <chrono>
#include <thread>

namespace {

const char ServiceAddress[] = "127.0.0.240";

std::mutex g_lock;
pthread_t g_client;

void onSignal(int)
{
}
QByteArray g_versionReply;
QByteArray g_newsReply;

// Answers "3" with the version reply and "*" with the news reply, forever.
void serve(int fd)
{
    for (;;) {
        char request[16];
        sockaddr_in peer;
        socklen_t peerLength = sizeof(peer);
        const ssize_t got = ::recvfrom(fd, request, sizeof(request), 0,
                                       reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (got != 2)
            continue;
        QByteArray reply;
        {
            std::lock_guard<std::mutex> guard(g_lock);
            reply = request[0] == 0x33 ? g_versionReply : g_newsReply;
        }
        // Interrupt the client while it waits, as any signal to the updater may.
        pthread_kill(g_client, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        ::sendto(fd, reply.constData(), static_cast<size_t>(reply.size()), 0,
                 reinterpret_cast<sockaddr*>(&peer), peerLength);
    }
}

void startService()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(UpdateChecker::ServicePort);
    ::inet_pton(AF_INET, ServiceAddress, &address.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        std::fprintf(stderr, "fuzz: cannot bind the version service on %s\n", ServiceAddress);
        std::abort();
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGUSR1, &action, nullptr);
    g_client = pthread_self();
    std::thread(serve, fd).detach();
}

void checkEntries(const QByteArray& reply, const QList<QPair<QString, QString> >& versions)
{
    const QString text = UpdateChecker::replyText(reply);
    fuzzCheck(text.size() <= reply.size() && !text.contains(QChar(0)), "reply text stops at NUL");
    fuzzCheck(versions.size() == text.count(',') + 1, "one entry per comma-separated part");
    QStringList rebuilt;
    for (const QPair<QString, QString>& entry : versions) {
        fuzzCheck(!entry.first.contains('#') && !entry.first.contains(','), "version number text");
        fuzzCheck(!entry.second.contains(','), "version text");
        rebuilt << (entry.second.isNull() ? entry.first : entry.first + '#' + entry.second);

        // The version number text goes on to the configuration's parser.
        Configuration configuration;
        const bool ok = configuration.getClientVersionFromString(entry.first, "bad %1");
        fuzzCheck(ok || configuration.m_clientVersion == 0, "a rejected version leaves 0");
    }
    fuzzCheck(rebuilt.join(',') == text, "entries rebuild the reply");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzzInitApplication(argc, argv);
    startService();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t wanted = data[0] | (size_t(data[1]) << 8);
    const QByteArray rest = fuzzBytes(data + 2, size - 2);
    const QByteArray versionReply = rest.left(static_cast<qsizetype>(wanted));
    const QByteArray newsReply = rest.mid(versionReply.size());

    checkEntries(versionReply, UpdateChecker::parseVersionList(versionReply));

    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_versionReply = versionReply;
        g_newsReply = newsReply;
    }
    UpdateChecker checker(QString::fromLatin1(ServiceAddress));
    fuzzCheck(checker.checkUpdate(), "query against the loopback service");
    const QByteArray versionSeen = versionReply.left(UpdateChecker::VersionReplyLimit);
    fuzzCheck(checker.m_versions == UpdateChecker::parseVersionList(versionSeen),
              "versions are those of the reply cut at the read limit");
    fuzzCheck(checker.m_news == UpdateChecker::replyText(newsReply.left(UpdateChecker::NewsReplyLimit)),
              "news is the reply cut at the read limit");
    checkEntries(versionSeen, checker.m_versions);
    for (int channel = StableChannel; channel <= AlphaChannel + 1; ++channel) {
        const QPair<QString, QString> entry =
            checker.getClientVersionByChannel(static_cast<UpdateChannel>(channel));
        fuzzCheck(channel < checker.m_versions.size() ? entry == checker.m_versions.at(channel)
                                                      : entry.first.isNull() && entry.second.isNull(),
                  "entry picked by channel");
    }
    return 0;
}
