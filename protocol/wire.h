#pragma once
// Byte layouts of the messages on the main endpoint (port 2976), and the decoding and checking
// of a feedback datagram. No sockets here: the endpoint sends and receives.
#include "db/element.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace protocol {

using platform::Ipv4Address;

// The 32-byte broadcast that asks every element for its feedback.
QByteArray pagingRequest();

// 41 bytes for a DECODER, 37 otherwise, from the element the user drafted: its four addresses
// (the remote one from its remote field), its lists, switches and name, and for a decoder its
// buffer and silence detector. Numbers go out as their low 8 bits. Empty when one of the four
// addresses is no address, so that no datagram with made-up address bytes reaches an element.
QByteArray buildConfiguration(const db::Element& draft, bool decoder);

// The 2-byte live attenuation datagram for port 2977: the step, then 0.
QByteArray buildAttenuation(quint8 step);

enum class Datagram { LevelReply, Ignored, Feedback };
// What the receive handler does with a datagram of this length. Datagrams too short to hold the
// 40-byte common block of a feedback are dropped.
Datagram datagramKind(int length);

// One decoded feedback datagram. Fields a short datagram does not carry hold these defaults
// (a decoder's attenuation and buffer defaults are set by decodeFeedback).
struct Feedback {
    Ipv4Address ip, mask, gw, remote;
    quint8 input = 0, type = 0, tx = 0;
    QString name; // 16 characters
    quint8 role = 0;
    qint32 serial = 0;
    quint8 verMajor = 2, verMinor = 0, sfn = 0, buffer = 0, lowLatency = 0;
    quint8 attenuation = 255, silDetMode = 0, silDetLevel = 37, silDetTime = 43;
};

// nullopt for a datagram shorter than 40 bytes. Never reads past the end: every field whose
// byte is missing takes its default, never a value of an earlier datagram.
std::optional<Feedback> decodeFeedback(const QByteArray& datagram);

// The field checks in order; the full message text of the first that fails. (The four address
// checks cannot fail on four bytes, so only the others are left.)
std::optional<QString> checkFeedback(const Feedback& feedback);

// The element as its feedback describes it, every value as it came.
db::Element reportedElement(const Feedback& feedback);

} // namespace protocol
