// A remote::Host over virtual processors whose frames go straight to them, with the processor's
// answers to program requests held back until Answer(): for the API's and the bridge's tests.
#pragma once

#include "remote/Api.h"

#include "edit/ProgramList.h"
#include "protocol/Frames.h"
#include "sim/VirtualProcessor.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quellmarin::test {

using namespace quellmarin::remote;

class TestHost : public Host {
  public:
    struct Unit {
        std::unique_ptr<Session> session;
        std::unique_ptr<sim::VirtualProcessor> device;
        UnitView view;
    };

    explicit TestHost(int count = 1) {
        for (int i = 0; i < count; ++i) AddUnit(i + 1, "virtual");
    }
    void AddUnit(int id, std::string port) {
        Unit u;
        u.device = std::make_unique<sim::VirtualProcessor>(id, kBuildModel);
        u.session = std::make_unique<Session>();
        u.session->SetAddress(u.device->Address());
        u.session->SetPort(port);
        u.session->Params() = u.device->Parameters();
        u.session->Info() = u.device->Info();
        sim::VirtualProcessor* device = u.device.get();
        u.session->SetPost([device](std::string frame) { device->Handle(frame); });
        u.view = {id, "Unit " + std::to_string(id), port, "connected", true, false};
        units.push_back(std::move(u));
    }

    std::vector<UnitView> Units() const override {
        std::vector<UnitView> v;
        for (const Unit& u : units) v.push_back(u.view);
        return v;
    }
    Session* SessionOf(std::size_t unit) override { return units.at(unit).session.get(); }
    void RunEdit(std::size_t unit, const std::function<void(Session&)>& edit) override {
        ++edits;
        edit(*units.at(unit).session);
    }
    void SendExchange(std::size_t unit, std::string frame) override { units.at(unit).device->Handle(frame); }
    std::optional<LevelFrame> Levels(std::size_t) const override {
        LevelFrame f;
        f.out[2] = 60;
        return f;
    }
    std::string LocalSource() const override { return "window"; }
    void ReadPrograms(std::size_t unit, std::function<void(std::optional<ProgramNames>)> done) override {
        ProgramNames names;
        for (int slot = 1; slot <= 40; ++slot) {
            const auto program = units.at(unit).device->ProgramAt(slot);
            names.push_back(program ? std::optional<std::string>(std::string(program->name, kNameLength)) : std::nullopt);
        }
        pending.push_back([done, names] { done(names); });
    }
    void RecallProgram(std::size_t unit, int slot, std::function<void(bool)> done) override {
        pending.push_back([this, unit, slot, done] {
            Unit& u = units.at(unit);
            const auto program = u.device->ProgramAt(slot);
            if (!program) return done(false);
            u.session->Params() = program->state;
            u.session->Info().ProgramNo = static_cast<std::uint8_t>(slot);
            done(true);
        });
    }
    void StoreProgram(std::size_t unit, int slot, std::optional<std::string> name,
                      std::function<void(std::string)> done) override {
        pending.push_back([this, unit, slot, name, done] {
            Unit& u = units.at(unit);
            u.device->Handle(FrameStoreProgram(u.device->Address(), slot));
            u.session->Info().ProgramNo = static_cast<std::uint8_t>(slot);
            stored.emplace_back(slot, name.value_or(""));
            done({});
        });
    }
    void DeleteProgram(std::size_t, int slot, std::function<void(std::string)> done) override {
        pending.push_back([this, slot, done] {
            deleted.push_back(slot);
            done({});
        });
    }
    std::vector<std::pair<int, std::string>> stored;
    std::vector<int> deleted;
    // The processor's answers, as they come later.
    void Answer() {
        auto now = std::move(pending);
        pending.clear();
        for (auto& f : now) f();
    }

    std::vector<Unit> units;
    std::vector<std::function<void()>> pending;
    int edits = 0;
};

} // namespace quellmarin::test
