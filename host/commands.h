// The subcommands, and what several of them share.
#pragma once

#include <string>
#include <vector>

#include "check.h"
#include "cli.h"
#include "report.h"
#include "session.h"

namespace host {

int RunGenerate(Session& session, const Arguments& args);
int RunCount(Session& session, const Arguments& args);
int RunFind(Session& session, const Arguments& args);
int RunSearch(Session& session, const Arguments& args);
int RunInfo(Session& session, const Arguments& args);
int RunChart(Session& session, const Arguments& args);
int RunDump(Session& session, const Arguments& args);
int RunVersion(Session& session, const Arguments& args);
int RunRaw(Session& session, const Arguments& args);
int RunScript(Session& session, const Arguments& args);

std::string CurrentDirectory();

// Problems found before a job stop it (true), unless `force` is given: then
// they are kept as notes and the job goes on. A job that writes says that
// --force exists.
enum class Force { kNotOffered, kOffered, kGiven };
bool StopsTheJob(std::vector<Problem> problems, Force force, Outcome* outcome);

std::string Nick(const IniFile& ini);

}  // namespace host
