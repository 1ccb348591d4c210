// Scenarios: line-based scripts of operator actions, outside events and
// expectations, run against a SimHost. The same steps work interactively, from
// the page and from the validator.
//
//   scenario_parser.h   a line to a ScenarioStep, and the quoting of arguments
//   scenario_steps.h    the steps: arguments, handler and help, one row a step
//   scenario_runner.h   ScenarioRunner, which runs them
//
// `zarn_host --help` and the interactive `help` list the steps from the table.
#pragma once

#include "scenario/scenario_parser.h"
#include "scenario/scenario_runner.h"
#include "scenario/scenario_steps.h"
