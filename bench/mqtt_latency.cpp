// The latency of a bridge's command, from outside: publishes PREFIX/A/set/ch1.duty, waits
// for PREFIX/A/result, COUNT times, alternating two values so that each is a change, and
// prints each round trip in ms, one a line. On libmosquitto's own thread; no Qt.
//
//   pwm5-mqtt-latency HOST PORT PREFIX ADDRESS COUNT

#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::mutex lock;
std::condition_variable answered;
int results = 0;
bool subscribed = false;

void onMessage(mosquitto*, void*, const mosquitto_message*)
{
    const std::lock_guard guard(lock);
    ++results;
    answered.notify_all();
}

void onSubscribe(mosquitto*, void*, int, int, const int*)
{
    const std::lock_guard guard(lock);
    subscribed = true;
    answered.notify_all();
}

template <typename Ready> bool waitFor(Ready ready)
{
    std::unique_lock guard(lock);
    return answered.wait_for(guard, std::chrono::seconds(10), ready);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: pwm5-mqtt-latency HOST PORT PREFIX ADDRESS COUNT\n");
        return 2;
    }
    const std::string base = std::string(argv[3]) + "/" + argv[4];
    const int count = std::atoi(argv[5]);
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new(nullptr, true, nullptr);
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_message_callback_set(mosq, onMessage);
    mosquitto_subscribe_callback_set(mosq, onSubscribe);
    if (mosquitto_connect(mosq, argv[1], std::atoi(argv[2]), 30) != MOSQ_ERR_SUCCESS
        || mosquitto_loop_start(mosq) != MOSQ_ERR_SUCCESS)
        return 1;
    mosquitto_subscribe(mosq, nullptr, (base + "/result").c_str(), 1);
    if (!waitFor([] { return subscribed; }))
        return 1;
    const std::string topic = base + "/set/ch1.duty";
    for (int i = 0; i < count; ++i) {
        const std::string value = i % 2 == 0 ? "25" : "30";
        const int before = results;
        const auto sent = std::chrono::steady_clock::now();
        mosquitto_publish(
            mosq, nullptr, topic.c_str(), static_cast<int>(value.size()), value.data(), 1, false);
        if (!waitFor([before] { return results > before; }))
            return 1;
        const std::chrono::duration<double, std::milli> took
            = std::chrono::steady_clock::now() - sent;
        std::printf("%.3f\n", took.count());
    }
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, false);
    mosquitto_destroy(mosq);
    return 0;
}
