#pragma once
// A UDP socket of the emulator: bound to an address and port, tied to one interface when
// asked, each datagram handed over with its sender and the interface it came in on. Plain
// descriptors instead of QUdpSocket, so that a fleet of a thousand elements costs little.
#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace emulator {

struct Datagram {
    QByteArray data;
    quint32 sender = 0; // host order
    quint16 senderPort = 0;
    int interfaceIndex = 0; // where it came in
};

class DatagramSocket {
public:
    DatagramSocket();
    ~DatagramSocket();
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    struct Binding {
        quint32 address = 0; // host order; 0: any
        quint16 port = 0;
        int interfaceIndex = 0; // 0: not tied to an interface
        bool shared = false;    // other sockets may bind the same port (the paging port)
        int receiveBuffer = 1 << 20;
    };
    bool open(const Binding& binding, QString* error);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Called for every datagram, all pending ones read at each wake-up.
    void onDatagram(std::function<void(const Datagram&)> receiver);
    void send(const QByteArray& data, quint32 to, quint16 port) const;

private:
    void readAll();

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(const Datagram&)> m_receiver;
};

QString addressText(quint32 address); // host order to dotted text

} // namespace emulator
