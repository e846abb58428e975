#pragma once

namespace pluginManager
{
// What a build of the manager library must define beside it. The library calls these and defines
// only builtWithLocalSource itself; each program that links the library brings the rest:
//   - the shipped program: manager/sources/config.cpp (fixed endpoints, the real clock, sleeps and
//     threads);
//   - the unit tests: tests/support/testEndpoints.cpp (loopback endpoints that a test points
//     elsewhere, a clock and waits that move only when a test moves them);
//   - the test build of the program (vyrpmTestBinary): tests/testBinary/environmentEndpoints.cpp
//     (endpoints below the server in VYRPM_TEST_SERVER, threads limited by VYRPM_TEST_THREADS).

struct Urls;

// The fixed web endpoints (sources/config.h), built on first use and kept to the end of the process.
const Urls& urls();

// Whether one of the endpoints is a "file:///" address. Defined by the library from urls()
// (sources/localSource.cpp): the HTTP client reads local files only for a program built with one.
bool builtWithLocalSource();

// How long one text or date request may take in the shipped program, from sending it to the last
// byte of the answer: a real list arrives in seconds, a server that trickles never ends.
constexpr int textRequestLimitMs = 60000;
// The limit in force: the one above in the programs, one that a test can shorten in the tests.
int textRequestMilliseconds();

// Passes one step of the wait before a request that the server refused as too many is asked
// again: a sleep in the programs; the unit tests only add the steps up.
void waitBeforeAskingAgain(int milliseconds);

// The millisecond counter by which the folder walk of installed detection ages what it found: the
// framework's high-resolution counter in the programs; in the unit tests one that moves only when
// a test moves it, so that a test sees a walk reused or repeated without sleeping.
long long steadyMilliseconds();

// Whether the library may ask the system for one more thread now. True in the shipped program
// and the unit tests, where the system alone decides (see startThread); the test build of the
// program refuses threads as a limit on the user's tasks would, to show that a run goes on with
// the threads it gets.
bool mayStartThread();
}
