#include "test_service_behaviour.h"

#include <cstdlib>
#include <cstring>

namespace {

const char *PatternName(CheckPoints pattern) {
  switch (pattern) {
    case CheckPoints::kRising:
      return "rising";
    case CheckPoints::kFlat:
      return "flat";
    case CheckPoints::kFalling:
      return "falling";
  }
  return "";
}

}  // namespace

DWORD CheckPointAt(CheckPoints pattern, DWORD nth, DWORD reports) {
  switch (pattern) {
    case CheckPoints::kRising:
      return nth + 1;
    case CheckPoints::kFlat:
      return 1;
    case CheckPoints::kFalling:
      return reports - nth;
  }
  return 0;
}

std::string BehaviourArguments(const TestServiceBehaviour &b) {
  // Only what differs from the defaults, so that the command line stays short.
  const TestServiceBehaviour defaults;
  std::string arguments = "--pending-ms " + std::to_string(b.pending_ms) + " --hint " +
                          std::to_string(b.wait_hint) + " --check-points " +
                          PatternName(b.check_points) + " --end " +
                          (b.end_state == SERVICE_RUNNING ? "running" : "stopped");
  const struct {
    const char *option;
    DWORD value;
    DWORD otherwise;
  } numbers[] = {
      {"--exit-code", b.exit_code, defaults.exit_code},
      {"--stop-ms", b.stop_ms, defaults.stop_ms},
      {"--linger-ms", b.linger_ms, defaults.linger_ms},
      {"--crash-on-stop", b.crashes_on_stop, defaults.crashes_on_stop},
      {"--child-outlives-ms", b.child_outlives_ms, defaults.child_outlives_ms},
      {"--child-spawns-every-ms", b.child_spawns_every_ms, defaults.child_spawns_every_ms},
      {"--accept", b.controls_accepted, defaults.controls_accepted}};
  for (const auto &number : numbers) {
    if (number.value != number.otherwise) {
      arguments += std::string(" ") + number.option + " " + std::to_string(number.value);
    }
  }
  if (!b.control_log.empty()) arguments += " --control-log " + b.control_log;
  if (!b.status_log.empty()) arguments += " --status-log " + b.status_log;
  return arguments;
}

bool ParseBehaviour(int argc, char **argv, TestServiceBehaviour *b) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const char *name = argv[i];
    const char *value = argv[i + 1];
    const DWORD number = static_cast<DWORD>(std::strtoul(value, nullptr, 10));
    if (std::strcmp(name, "--pending-ms") == 0) {
      b->pending_ms = number;
    } else if (std::strcmp(name, "--hint") == 0) {
      b->wait_hint = number;
    } else if (std::strcmp(name, "--check-points") == 0) {
      if (std::strcmp(value, "rising") == 0) {
        b->check_points = CheckPoints::kRising;
      } else if (std::strcmp(value, "flat") == 0) {
        b->check_points = CheckPoints::kFlat;
      } else if (std::strcmp(value, "falling") == 0) {
        b->check_points = CheckPoints::kFalling;
      } else {
        return false;
      }
    } else if (std::strcmp(name, "--end") == 0) {
      b->end_state = std::strcmp(value, "running") == 0 ? SERVICE_RUNNING : SERVICE_STOPPED;
    } else if (std::strcmp(name, "--exit-code") == 0) {
      b->exit_code = number;
    } else if (std::strcmp(name, "--stop-ms") == 0) {
      b->stop_ms = number;
    } else if (std::strcmp(name, "--linger-ms") == 0) {
      b->linger_ms = number;
    } else if (std::strcmp(name, "--child-outlives-ms") == 0) {
      b->child_outlives_ms = number;
    } else if (std::strcmp(name, "--child-spawns-every-ms") == 0) {
      b->child_spawns_every_ms = number;
    } else if (std::strcmp(name, "--crash-on-stop") == 0) {
      b->crashes_on_stop = number != 0;
    } else if (std::strcmp(name, "--accept") == 0) {
      b->controls_accepted = number;
    } else if (std::strcmp(name, "--control-log") == 0) {
      b->control_log = value;
    } else if (std::strcmp(name, "--status-log") == 0) {
      b->status_log = value;
    } else {
      return false;
    }
  }
  return argc % 2 == 1;
}
