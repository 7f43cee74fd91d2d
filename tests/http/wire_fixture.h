// The loopback HTTP fixture as the Windows tests see it: tools/http_fixture/with_fixture.py
// starts it and passes its port and script folder in the environment.
#pragma once

#include <string>
#include <vector>

#include "text/text.h"

int FixturePort();
// "http://127.0.0.1:<port>/<id><rest>"
Text FixtureUrl(const std::string& id, const std::string& rest = "");
// What the fixture sends back for requests to /<id>...; mode "reset N": N bytes, then a reset.
void ScriptResponse(const std::string& id, const std::string& response, const std::string& mode = "");
// A complete response: status line, extra header lines (each ending in CR LF), the body with
// its Content-Length, and Connection: close.
std::string HttpResponse(const std::string& statusLine, const std::string& headerLines, const std::string& body);
// The exact bytes of every request the fixture got for /<id>..., in order.
std::vector<std::string> RecordedRequests(const std::string& id);
// The header part of a recorded request (up to the blank line) and its body.
std::string RequestHead(const std::string& request);
std::string RequestBody(const std::string& request);
// A 127.0.0.1 port with nothing listening (bound once, then closed).
int ClosedPort();
