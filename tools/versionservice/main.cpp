// SPDX-License-Identifier: MIT
// SPDX-FileCopyrightText: 2026 The Corvane updater developers
//
// Reference update service for tests and the demo. Answers on UDP:
//   version port (17384): 0x33 0x00 -> version list text, 0x2A 0x00 -> news text
//   banner port  (2009):  0x01 0x01 -> "image URL,click URL"
// Every datagram received is logged on stderr, one line each:
//   datagram port=<local port> from=<address>:<port> bytes=<hex>
// Once bound it logs "listening <address> <version port> <banner port>".
#include "tools/versionservice/updateservice.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

// The text of one answer: plain (Latin-1) or given in hex so that any byte,
// NUL included, can be sent.
bool answerFrom(const QCommandLineParser& parser, const QString& name, QByteArray* answer,
                bool* enabled)
{
    *enabled = !parser.isSet("no-" + name);
    if (parser.isSet(name + "-hex")) {
        const QString hex = parser.value(name + "-hex");
        *answer = QByteArray::fromHex(hex.toLatin1());
        if (answer->toHex() != hex.toLatin1().toLower()) {
            std::fprintf(stderr, "invalid hex for --%s-hex\n", qPrintable(name));
            return false;
        }
    } else {
        *answer = parser.value(name).toLatin1();
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Reference UDP update service (version list, news, banner).");
    parser.addHelpOption();
    parser.addOptions({
        { "address", "IPv4 address to bind.", "address", "127.0.0.1" },
        { "version-port", "Port of the version and news requests.", "port", "17384" },
        { "banner-port", "Port of the banner request.", "port", "2009" },
        { "versions", "Version list reply, e.g. \"100#3.0.1,101#3.1-beta,102\".", "text" },
        { "news", "News reply.", "text" },
        { "banner", "Banner reply, \"image URL,click URL\".", "text" },
        { "versions-hex", "Version list reply as hex bytes.", "hex" },
        { "news-hex", "News reply as hex bytes.", "hex" },
        { "banner-hex", "Banner reply as hex bytes.", "hex" },
        { "no-versions", "Do not answer version requests." },
        { "no-news", "Do not answer news requests." },
        { "no-banner", "Do not answer banner requests." },
    });
    parser.process(app);

    UpdateService::Settings settings;
    settings.address = QHostAddress(parser.value("address"));
    bool portOk = false, bannerPortOk = false;
    settings.versionPort = parser.value("version-port").toUShort(&portOk);
    settings.bannerPort = parser.value("banner-port").toUShort(&bannerPortOk);
    if (settings.address.isNull() || settings.address.protocol() != QAbstractSocket::IPv4Protocol
        || !portOk || !bannerPortOk) {
        std::fprintf(stderr, "invalid address or port\n");
        return 2;
    }
    if (!answerFrom(parser, "versions", &settings.versions, &settings.answerVersions)
        || !answerFrom(parser, "news", &settings.news, &settings.answerNews)
        || !answerFrom(parser, "banner", &settings.banner, &settings.answerBanner))
        return 2;

    UpdateService service(settings);
    QString error;
    if (!service.start(&error)) {
        std::fprintf(stderr, "cannot bind: %s\n", qPrintable(error));
        return 3;
    }
    return app.exec();
}
