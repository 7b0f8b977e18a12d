// Every wait of the protocol in one place, with the device's own values as defaults. Tests run the
// same code with shorter waits against the in-memory virtual processor.
#pragma once

#include "link/Clock.h"

#include <chrono>

namespace quellmarin {

// How the link worker paces the line. Answered: a frame goes as soon as the device has answered
// the request before it, and a posted frame is followed at once by a level poll whose reply shows
// that the device took it. Fixed: one frame a 200 ms cycle, for a device that needs the old rhythm.
enum class Pacing { Answered, Fixed };

struct LinkTimings {
    using ms = std::chrono::milliseconds;
    Pacing pacing = Pacing::Answered;
    ms helloWait{30};           // per hello probe
    ms lateHelloWait{200};      // after the last probe, for replies that come late
    ms cycle{200};              // the level poll's wait, the idle poll interval, the fixed cycle
    ms parameterWait{1200};     // whole-record upload "Q000"
    ms infoWait{500};           // device information "I"
    ms downloadSettle{1000};    // twice around a download
    ms secondaryRead{500};      // the secondary port's read after a download
    ms disconnectWait{400};     // for "B" to leave at a disconnection
    ms exitWait{300};           // for "B" to leave at program end
    ms quietGap{15};            // a reply of known length is complete when nothing follows it this long
    ms settingReplyWait{100};   // the reply to an alias name or the panel lock, read and discarded
    ms programReplyWait{100};   // a program name ("T"), and the replies to delete ("G") and rename ("N")
    ms recallWait{1200};        // the reply to a recall ("R")
    ms storeWait{1000};         // the echo of a save ("S")
    ms renameEchoWait{250};     // the reply to a rename of the current program
    ms writeTimeout{3000};      // a write that does not finish by then failed
    ms reconnectInterval{2000}; // between two hello probes of a lost device
    LinkClock* clock = &SystemClock();

    // Short waits for tests against the in-memory virtual processor.
    static LinkTimings Fast() {
        LinkTimings t;
        t.helloWait = ms(15);
        t.lateHelloWait = ms(30);
        t.cycle = ms(20);
        t.parameterWait = ms(300);
        t.infoWait = ms(200);
        t.downloadSettle = ms(10);
        t.secondaryRead = ms(50);
        // Upper bounds only: "B" leaves as soon as the request before it is answered. Room for a slow
        // (sanitised, loaded) run, where 100 ms could pass before the worker takes it.
        t.disconnectWait = ms(1000);
        t.exitWait = ms(1000);
        t.quietGap = ms(3);
        t.settingReplyWait = ms(20);
        t.programReplyWait = ms(40);
        t.recallWait = ms(200);
        t.storeWait = ms(200);
        t.renameEchoWait = ms(60);
        t.writeTimeout = ms(1000);
        t.reconnectInterval = ms(100);
        return t;
    }
};

} // namespace quellmarin
