#pragma once
// Byte layouts of the messages on the main endpoint (port 2976) and the pure decoding and
// checking of a feedback datagram. No sockets here: the endpoint code sends and receives.
#include "db/inistore.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace protocol {

// The 32-byte broadcast that asks every element for its feedback.
QByteArray PagingRequest();

// The 3-byte audio level request, "VOL".
QByteArray LevelRequest();

// The editor's values as the configuration datagram carries them.
struct ConfigurationFields {
    QString ip, mask, gw, remote;
    int input = 0, type = 0, tx = 0;
    bool sfn = false;
    QString name;
    int buffer = 0, silDetMode = 0, silDetLevel = 0, silDetTime = 0;
    bool lowLatency = false;
};

// 41 bytes for a DECODER, 37 otherwise. Numbers go out as their low 8 bits. Returns an empty
// array when one of the four addresses is not a valid address text, so that no datagram with
// made-up address bytes can reach an element.
QByteArray BuildConfiguration(const ConfigurationFields& fields, bool decoder);

// The 2-byte live attenuation datagram for port 2977: the step, then 0.
QByteArray BuildAttenuation(quint8 step);

enum class Datagram { LevelReply, Ignored, Feedback };
// What the receive handler does with a datagram of this length. Datagrams too short to
// hold the 40-byte common block of a feedback are dropped.
Datagram DispatchReceived(int length);

// One decoded feedback datagram. Fields a short datagram does not carry hold these defaults
// (a decoder's attenuation and buffer defaults are set by DecodeFeedback).
struct Feedback {
    QString ip, mask, gw, remote;
    quint8 input = 0, type = 0, tx = 0;
    QString name; // 16 characters
    quint8 role = 0;
    qint32 serial = 0;
    quint8 verMajor = 2, verMinor = 0, sfn = 0, buffer = 0, lowLatency = 0;
    quint8 attenuation = 255, silDetMode = 0, silDetLevel = 37, silDetTime = 43;
};

// nullopt for a datagram shorter than 40 bytes. Never reads past the end: every field whose
// byte is missing takes its default, never a value of an earlier datagram.
std::optional<Feedback> DecodeFeedback(const QByteArray& datagram);

// The nine field checks in order; the full message text of the first that fails.
std::optional<QString> CheckFeedback(const Feedback& feedback);

// The keys and values of a discovered element's record, in writing order.
db::IniEntries DiscoveryRecord(const Feedback& feedback);

// "ENCODER", "DECODER" or "UNKNOWN".
QString RoleText(int role);

} // namespace protocol
