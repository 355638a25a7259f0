#pragma once

#include "ModemSendStep.h"
#include "ParallelSendRun.h"

#include <memory>

struct GatewaySettings;

// The send worker's device step for an SMS gateway: one channel to the
// gateway shared by `inFlight` lanes ("gateway 1" to "gateway N"; "gateway"
// alone for one), each submission paced by the channel's rate limit rather
// than by the lane, run by ParallelSendRun.
//
// With delivery reports requested, a listener on 127.0.0.1 takes the
// gateway's reports for the run; each updates its row (through
// deliveryReported) and is written to the send journal as a "report" line.
// What is still outstanding when the run ends comes back as a listener that
// keeps taking reports (nothing when nothing is outstanding).
//
// A run that lost lanes leaves the reason in *failure: when it ended for it, or
// when the window does not show lanes (and so was not told).
std::shared_ptr<ReportListener> RunGatewaySendStep(const GatewaySettings& settings, SendRunHost& host,
                                                   ModemLinkHost& linkHost, StopGate& gate, SendClock& clock,
                                                   QString* failure = nullptr);

// The lanes of a gateway run over `channel`.
QList<SendLane> GatewayLanes(IChannel* channel, int count);
