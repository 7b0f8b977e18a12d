// The remote-control server's input on any bytes: an HTTP request (parsed within its limits, then
// carried out by the API as an installer), a WebSocket message, or an MQTT command (topic, a line
// break, payload) as the bridge reads it. Whatever comes, nothing crashes,
// a refused request changes no record, and a parse never takes more bytes than it was given.
#include "remote/Api.h"
#include "remote/Http.h"
#include "remote/Mqtt.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace quellmarin;
using namespace quellmarin::remote;

namespace {

class FuzzHost : public Host {
  public:
    FuzzHost() { session.SetAddress("01"); }
    std::vector<UnitView> Units() const override { return {{1, "Unit 1", "virtual", "connected", true, false}}; }
    Session* SessionOf(std::size_t unit) override { return unit == 0 ? &session : nullptr; }
    void RunEdit(std::size_t, const std::function<void(Session&)>& edit) override { edit(session); }
    void SendExchange(std::size_t, std::string) override {}
    std::optional<LevelFrame> Levels(std::size_t) const override { return LevelFrame{}; }
    std::string LocalSource() const override { return "window"; }
    void ReadPrograms(std::size_t, std::function<void(std::optional<ProgramNames>)> done) override { done(std::nullopt); }
    void RecallProgram(std::size_t, int, std::function<void(bool)> done) override { done(false); }
    void StoreProgram(std::size_t, int, std::optional<std::string>, std::function<void(std::string)> done) override {
        done("no processor");
    }
    void DeleteProgram(std::size_t, int, std::function<void(std::string)> done) override { done("no processor"); }
    Session session;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    FuzzHost host;
    AuditLog audit;
    Api api(host, audit);
    const Caller caller{{"fuzz", Role::Installer}, "127.0.0.1"};
    const SystemParameters before = host.session.Params();
    if (data[0] & 2) {
        const std::size_t newline = bytes.find('\n');
        const std::string topic(bytes.substr(0, newline));
        const std::string payload(newline == std::string_view::npos ? std::string_view() : bytes.substr(newline + 1));
        MqttPublisher publisher(api, host, "q/r");
        std::string error;
        const auto command = publisher.ReadCommand(topic, payload, error);
        if (command && !command->path.starts_with("/api/v1/devices/")) std::abort();
        if (command)
            api.HandleAsync(command->method, command->path, command->body, caller, [&](ApiResponse r) {
                if (r.status != 200 && !(host.session.Params() == before)) std::abort();
            });
        return 0;
    }
    if (data[0] & 1) {
        const Json message = Json::parse(bytes, nullptr, false);
        const Json answer = api.Message(message, caller);
        if (answer["result"] != "ok" && !(host.session.Params() == before)) std::abort();
        return 0;
    }
    HttpLimits limits;
    limits.maxBodyBytes = 2048;
    const HttpParse parse = ParseHttpRequest(bytes, limits);
    if (parse.status == HttpParse::Status::Complete) {
        if (parse.consumed > bytes.size() || parse.request.body.size() > limits.maxBodyBytes) std::abort();
        bool answered = false;
        api.HandleAsync(parse.request.method, parse.request.path, parse.request.body, caller, [&](ApiResponse r) {
            answered = true;
            if (r.status != 200 && !(host.session.Params() == before)) std::abort();
            if (r.status < 200 || r.status > 599) std::abort();
        });
        if (!answered) std::abort(); // this host answers at once: nothing may be left waiting
    } else if (parse.status == HttpParse::Status::Refused && (parse.refusal < 400 || parse.refusal > 599)) {
        std::abort();
    }
    return 0;
}
