#include "telling/run_words.h"

using End = TargetEnd;

const char* OutcomeName(End end) {
    switch (end) {
        case End::Succeeded:
            return "succeeded";
        case End::Refused:
            return "refused";
        case End::Mismatch:
            return "mismatch";
        case End::NotReady:
            return "not ready";
        case End::NotStarted:
            return "not started";
        case End::Interrupted:
            return "interrupted";
        case End::GaveUp:
            return "gave up";
        case End::Differs:
            return "differs";
        case End::DidNotStick:
            return "did not stick";
        default:
            return "not run";
    }
}

const char* WaitKindName(WaitKind kind) {
    switch (kind) {
        case WaitKind::Pause:
            return "pause";
        case WaitKind::Event:
            return "event";
        case WaitKind::RaiseEvent:
            return "raise";
        case WaitKind::RendezVous:
            return "rendezvous";
        default:
            return "buffer";
    }
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Good:
            return "good";
        case Verdict::Refused:
            return "refused";
        case Verdict::Matched:
            return "matched";
        case Verdict::Same:
            return "same";
        case Verdict::Differs:
            return "differs";
        case Verdict::NotCompared:
            return "not compared";
        default:
            return "mismatch";
    }
}
