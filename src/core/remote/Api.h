// The remote-control API over the processors a host holds (the window's rig, or the headless
// server's): requests by method and path with JSON bodies, each checked against the caller's role
// and the rig's lock, carried out through the same setting words and editors as the command-line tool
// and the windows, so a remote edit is an ordinary edit of the processor's session. Every change is
// logged with who made it and reported as change events; a refused request changes nothing.
#pragma once

#include "protocol/Frames.h"
#include "remote/Audit.h"
#include "remote/Tokens.h"
#include "session/Session.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quellmarin::remote {

using Json = nlohmann::ordered_json;

// A processor as the API lists it.
struct UnitView {
    int id = 0;
    std::string name;
    std::string port;
    std::string state;   // "connected", "lost — reconnecting", "not connected"
    bool connected = false;
    bool lost = false;
};

// What the API works on.
class Host {
  public:
    virtual ~Host() = default;
    virtual std::vector<UnitView> Units() const = 0;
    // The session that holds processor `unit` (an index of Units()) now; the API only reads it here.
    virtual Session* SessionOf(std::size_t unit) = 0;
    // Makes a remote client's edit on that processor's session alone (never followed by a group of
    // the window's), after which the windows show it anew and the read-back check follows it.
    virtual void RunEdit(std::size_t unit, const std::function<void(Session&)>& edit) = 0;
    // Frames the processor answers (an alias name, the panel lock): sent as exchanges on its line.
    virtual void SendExchange(std::size_t unit, std::string frame) = 0;
    virtual std::optional<LevelFrame> Levels(std::size_t unit) const = 0;
    // Who changes what no client changed: "window", or "processor" for the headless server.
    virtual std::string LocalSource() const = 0;

    // The names of the forty stored programs, read from the processor (a slot that did not answer
    // has none); nothing when the processor could not be asked. `done` runs on the host's thread.
    using ProgramNames = std::vector<std::optional<std::string>>;
    virtual void ReadPrograms(std::size_t unit, std::function<void(std::optional<ProgramNames>)> done) = 0;
    // Recalls stored program `slot` (1..40); the processor's whole state is then read into its
    // session. `done(false)` when the processor did not recall it.
    virtual void RecallProgram(std::size_t unit, int slot, std::function<void(bool)> done) = 0;
    // Stores the processor's current settings as program `slot`, named `name` when one is given
    // (already checked), or deletes the program; `done` gets why it failed, empty when it was done.
    virtual void StoreProgram(std::size_t unit, int slot, std::optional<std::string> name,
                              std::function<void(std::string)> done) = 0;
    virtual void DeleteProgram(std::size_t unit, int slot, std::function<void(std::string)> done) = 0;
};

struct Caller {
    Principal who;
    std::string client; // "127.0.0.1"
};

struct ApiResponse {
    int status = 200;
    Json body = Json::object();
};

// One setting that changed: on which processor, what, from and to, and by whom.
struct Change {
    int id = 0;
    std::string port;
    std::string setting; // "out 3 gain"
    std::string before, after;
    std::string by;
};

class Api {
  public:
    Api(Host& host, AuditLog& audit);

    ApiResponse Handle(const std::string& method, const std::string& path, const std::string& body,
                       const Caller& caller);
    // The same for every route, the programs among them, which wait for the processor: `reply` gets
    // the answer at once or once the processor has answered.
    void HandleAsync(const std::string& method, const std::string& path, const std::string& body, const Caller& caller,
                     std::function<void(ApiResponse)> reply);
    void MessageAsync(const Json& request, const Caller& caller, std::function<void(Json)> reply);
    // A WebSocket request: {"id": 7, "command": "get"|"set", "path": "/devices/1/...", ...} answered
    // {"id": 7, "result": "ok", ...} or {"id": 7, "result": "error", "status": 422, "message": ...}.
    Json Message(const Json& request, const Caller& caller);

    // ---- The rig lock ----------------------------------------------------------------------------
    // The token that holds it, if any; while held, only that token writes.
    const std::optional<std::string>& LockHolder() const { return lockHolder_; }
    // The window breaks it.
    void BreakLock(const std::string& by);
    // Whether another token holds the lock, and the refusal that says who.
    bool LockedOut(const Caller& caller) const;
    std::string LockText() const;

    // ---- Changes ---------------------------------------------------------------------------------
    // The settings that changed since the last look, laid at `by`'s door; told to the listener.
    std::vector<Change> CollectChanges(const std::string& by);
    void SetChangeListener(std::function<void(const std::vector<Change>&)> listener) {
        changeListener_ = std::move(listener);
    }
    // The lock was taken or given back (for the window).
    void SetLockListener(std::function<void()> listener) { lockListener_ = std::move(listener); }

    static Json ChangeJson(const Change& c);
    // The newest meters of a processor, or nothing with why (lost, not connected).
    std::optional<Json> LevelsJson(std::size_t unit, std::string& why);
    // Each channel's name, gain, mute and polarity in user units: what a remote's strips show.
    Json StripsJson(std::size_t unit);
    // The processor index of a path's "{d}", or the refusal.
    std::optional<std::size_t> FindUnit(const std::string& idText, ApiResponse& refusal);

  private:
    ApiResponse Route(const std::string& method, const std::vector<std::string>& parts, const std::string& body,
                      const Caller& caller);
    ApiResponse Write(std::size_t unit, const std::vector<std::string>& words, Role needed, const Caller& caller,
                      const std::string& what);
    ApiResponse Refuse(int status, std::string message, const Caller& caller, const std::string& method,
                       const std::string& path);
    ApiResponse ChannelSetting(const std::string& method, std::size_t unit, const std::string& section, int number,
                               const std::vector<std::string>& rest, const Json& body, const Caller& caller);
    ApiResponse Generator(const std::string& method, std::size_t unit, const Json& body, const Caller& caller);
    // The programs' routes: the refusal, or nothing when `reply` will be called.
    std::optional<ApiResponse> Programs(const std::string& method, std::size_t unit, const std::vector<std::string>& parts,
                                        const std::string& body, const Caller& caller,
                                        std::function<void(ApiResponse)> reply);
    // A request envelope as a method, a path and a body; nothing, with the error answer, when it is none.
    std::optional<std::pair<std::string, std::string>> Envelope(const Json& request, Json& answer) const;
    Json DeviceJson(std::size_t unit);
    // The changes since the last look are the caller's: each goes to the audit log; their list.
    Json LogChanges(const Caller& caller);
    Json UnitJson(std::size_t unit, const UnitView& v);

    Host& host_;
    AuditLog& audit_;
    std::optional<std::string> lockHolder_;
    // What each processor's settings were at the last look ("port|id" → setting → text).
    std::map<std::string, std::map<std::string, std::string>> seen_;
    std::function<void(const std::vector<Change>&)> changeListener_;
    std::function<void()> lockListener_;
    // The method and path being handled, for the audit lines of what it refuses.
    std::string method_, path_;
    // Gone with the API: an answer of the processor that comes later finds no one to tell.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

} // namespace quellmarin::remote
