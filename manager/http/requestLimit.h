#pragma once

namespace pluginManager
{
// How long one text or date request may take in the shipped program, from sending it to the last
// byte of the answer: a real list arrives in seconds, a server that trickles never ends.
constexpr int textRequestLimitMs = 60000;
// The limit in force, compiled in beside the fixed endpoints (sources/config.cpp): the one above
// in the shipped program, one that a test can shorten in the tests.
int textRequestMilliseconds();

// Passes one step of the wait before a request that the server refused as too many is asked again,
// compiled in beside the limit: a sleep in the shipped program; the tests only add the steps up.
void waitBeforeAskingAgain(int milliseconds);
}
