#pragma once

#include <QProcess>
#include <QString>

#include <functional>

// Debian's MQTT broker, mosquitto, as a child process for a test, on 127.0.0.1 only and on
// ports free when it starts: a plain listener and a TLS one, both refusing clients without
// the user and password below. Its files (configuration, password file, certificates, log)
// are made in the test's folder each time it starts, so a test needs nothing installed but
// mosquitto and openssl. Nothing persists: a broker started again has no retained message.
class MqttBroker {
public:
    static constexpr char kUser[] = "pwm5";
    static constexpr char kPassword[] = "secret";

    MqttBroker() = default;
    ~MqttBroker();
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    // Makes the files in the folder, starts the broker and waits until both listeners
    // listen; false (with output() saying why) when it does not come up.
    bool start(const QString& workDir);
    // Lines added to the configuration of the next start(): an ACL file, a log of every packet
    // ("log_type all").
    void addConfiguration(const QString& lines) { extra_ += lines; }
    // Ends the broker with SIGTERM, which drops its clients, and waits for its end.
    void stop();
    // Ends the broker with SIGKILL: its clients see the connection go without a word.
    void kill();
    // Stops the broker if it runs and starts it again on the same ports, with the same files.
    bool restart();
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }

    quint16 port() const { return port_; }
    quint16 tlsPort() const { return tlsPort_; }
    // The PEM file of the test CA that signed the TLS listener's certificate (made for
    // 127.0.0.1 and localhost), and of a CA that has nothing to do with it.
    QString caFile() const;
    QString otherCaFile() const;
    // What went wrong, then what the broker wrote since the first start (its log).
    QString output() const;
    // Waits until the log holds the text, or until the predicate holds for the whole log (all
    // of it since the first start, so a count tells a second connection from the first);
    // false when the time passes first. Runs the Qt event loop meanwhile.
    bool waitForOutput(const QString& text, int timeoutMs = 10000) const;
    bool waitForOutput(const std::function<bool(const QString&)>& seen, int timeoutMs) const;

    // The broker's configuration for the listeners on these ports, with files in the folder.
    static QString configuration(const QString& workDir, quint16 port, quint16 tlsPort);

private:
    bool makeFiles();
    bool run(const QString& program, const QStringList& args);
    bool launch();
    QString log() const;

    QString dir_;
    QProcess process_;
    QString error_;
    QString extra_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
};
