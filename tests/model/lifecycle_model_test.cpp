// The lifecycle model check: on the simulated machine, every sequence of steps (a switch, the
// window, a restart; two by default, up to four with KES_LIFECYCLE_STEPS), every answer to
// every question, at most one failing call or tool per sequence and a power cut after any
// call, explored breadth-first over distinct machine states. After every completed program run
// a Safe Mode boot must bring the program back (unless "/safenet-noreboot" asked for none), and
// from every state the return to normal must leave nothing behind - including the temporary
// administrator, for a regular user, and, where the boot loader reads boot.ini, boot.ini not back
// byte for byte with attributes read-only, hidden and system, or its backup.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/model/lifecycle_model.h"

namespace kes::lifecycle_model {
namespace {

// Sequences are this long unless KES_LIFECYCLE_STEPS asks for more (up to 4). Every step
// multiplies the states: in the sanitizer build two steps take a few minutes for the three
// profiles. The optimized build of the check (lifecycle_model) plays four steps in about as long.
constexpr std::size_t kDefaultSteps = 2;
constexpr std::size_t kMostSteps = 4;

std::size_t MaxSteps() {
  const char* text = std::getenv("KES_LIFECYCLE_STEPS");
  const int n = text ? std::atoi(text) : 0;
  return n >= 1 && n <= static_cast<int>(kMostSteps) ? static_cast<std::size_t>(n) : kDefaultSteps;
}

// A state as reached first: the shortest way there, whether it spent the one failure, whether
// the last step was cut short, and the state itself.
struct Node {
  std::vector<StepRun> path;
  bool fault_used = false;
  bool by_power_cut = false;
  std::shared_ptr<const Snapshot> state;
  bool safe_without_hook = false;         // the next boot is Safe Mode and nothing brings us back
  bool before_first_change = false;       // cut in a program run that had not changed anything yet
  bool parent_safe_without_hook = false;  // the state the cut step began in had no way back
  bool cut_in_no_hook_step = false;       // cut in "/safenet-noreboot", which leaves no hook
};

// A way to play one step from a state, not played yet.
struct Variant {
  std::vector<int> answers;
  std::optional<Fault> fault;
};

// A broken invariant: what kind it is (invariant, step, failure) for the summary, and the whole
// sequence.
struct Violation {
  std::string kind;
  std::string text;
};

struct Figures {
  long step_executions = 0;
  long distinct_states = 0;
  long power_cut_states = 0;
  long power_cut_safe_without_hook = 0;
  long power_cut_before_program_acted = 0;
  long power_cut_inherited = 0;
  long power_cut_no_hook_by_design = 0;
  long faults_injected = 0;
  // See StepOutcome::kills: 2 for a program killed in a tool it waits for, 3 when its next call
  // came from the log's own error handling, which swallows everything and goes on.
  int most_kills = 0;
};

class ModelExplorer {
 public:
  explicit ModelExplorer(std::string profile)
      : profile_(std::move(profile)),
        steps_(AllSteps(profile_ != "win7" && !profile_.starts_with("xp"))),
        msa_(profile_ == "win10-msa") {
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (steps_[i].args == u"/normal") normal_switch_ = static_cast<int>(i);
      if (steps_[i].label == "window: 正常模式 + 仅配置") normal_window_ = static_cast<int>(i);
      if (steps_[i].kind == Step::Kind::kRestart) restart_ = static_cast<int>(i);
    }
  }

  void Run() {
    sim::Machine& m = Machine();
    boot_ini_ = BootIni(m);
    Admit(Node{{}, false, false, std::make_shared<Snapshot>(Take(m))}, m);
    while (!frontier_.empty()) {
      Node node = std::move(frontier_.front());
      frontier_.pop_front();
      // After a power cut the power comes back: the machine boots before anything else.
      if (node.by_power_cut) {
        Expand(node, restart_);
        continue;
      }
      for (int s = 0; s < static_cast<int>(steps_.size()); ++s) Expand(node, s);
    }
  }

  const Figures& figures() const { return figures_; }
  const std::vector<Violation>& violations() const { return violations_; }
  const std::vector<std::string>& model_errors() const { return model_errors_; }

 private:
  // The machine to play on, with `state` put back. A machine keeps every failure ever injected
  // into it (and checks each on every call), so it is replaced now and then.
  sim::Machine& Machine(const Snapshot* state = nullptr) {
    if (!machine_ || (fresh_allowed_ && ++uses_ > 200)) {
      machine_ = MakeMachine(profile_);
      uses_ = 0;
    }
    if (state) Restore(*machine_, *state);
    return *machine_;
  }

  StepOutcome Play(const Snapshot& from, const StepRun& run, bool record) {
    ++figures_.step_executions;
    return PlayStep(Machine(&from), steps_, run, record);
  }

  std::string Sequence(const std::vector<StepRun>& path) const {
    std::string s;
    for (std::size_t i = 0; i < path.size(); ++i)
      s += "\n    " + std::to_string(i + 1) + ". " + Describe(steps_, path[i]);
    return s.empty() ? "\n    (the machine as set up)" : s;
  }

  // A state not seen before is checked at once and, when it is not as deep as sequences go,
  // queued to be explored. `m` is in the node's state.
  void Admit(Node node, const sim::Machine& m) {
    // One exploration per state, however it was reached (with or without the failure spent).
    if (!seen_.insert(node.state->digest).second) return;
    ++figures_.distinct_states;
    node.safe_without_hook = NextBoot(m) != 0 && !HookOnNextBoot(m);
    if (node.by_power_cut) {
      ++figures_.power_cut_states;
      if (node.safe_without_hook && node.parent_safe_without_hook) {
        // The step began without a way back: "/safenet-noreboot" leaves none, by design.
        ++figures_.power_cut_inherited;
      } else if (node.safe_without_hook && node.cut_in_no_hook_step) {
        // Cut after "/safenet-noreboot" set Safe Mode: what it leaves when it ends, by design.
        ++figures_.power_cut_no_hook_by_design;
      } else if (node.safe_without_hook && node.before_first_change) {
        // Windows took the one-time entry (before it starts the program, as Windows does) and
        // the program had not had its first step yet.
        ++figures_.power_cut_before_program_acted;
      } else if (node.safe_without_hook) {
        ++figures_.power_cut_safe_without_hook;
        violations_.push_back(
            {"(p) a power cut",
             "(p) a power cut leaves the next boot in Safe Mode (" + std::to_string(NextBoot(m)) +
                 ") with nothing to bring the program back, after" + Sequence(node.path)});
      }
    }
    CheckReturnToNormal(node);
    if (node.path.size() < max_steps_) frontier_.push_back(std::move(node));
  }

  // (b), and (c) where it applies: both ways back to normal leave nothing behind.
  void CheckReturnToNormal(const Node& node) {
    for (int recovery : {normal_switch_, normal_window_}) {
      const StepRun run{recovery, {}, std::nullopt, 0};
      Play(*node.state, run, false);
      std::string left = Leftovers(*machine_);
      if (const std::string ini = BootIniLeftovers(*machine_, boot_ini_); !ini.empty())
        left += (left.empty() ? "" : ", ") + ini;
      if (msa_ && TempAdminExists(*machine_))
        left += std::string(left.empty() ? "" : ", ") + "temporary administrator";
      if (!left.empty()) {
        violations_.push_back({"(b) " + steps_[recovery].label + " left " + left,
                               "(b) the return to normal left: " + left + "\n  after" +
                                   Sequence(node.path) + "\n  then " + Describe(steps_, run)});
      }
    }
  }

  // True when gate `g` is made by a program run that had changed nothing yet: the machine is as
  // it was at the run's first call. On the Safe Mode boot that is the moment between Windows
  // taking the one-time entry (before it starts the program, as Windows does) and the program's
  // first step - which no order of the program's own steps can cover.
  static bool BeforeFirstChange(const StepOutcome& out, std::size_t g) {
    const int run = out.run_of_gate[g];
    if (run == 0) return false;
    std::size_t first = g;
    while (first > 0 && out.run_of_gate[first - 1] == run) --first;
    return out.digest_at_gate[g] == out.digest_at_gate[first];
  }

  // The index in `gates` of each shown box's MessageBoxW call.
  static std::vector<std::size_t> BoxGates(const StepOutcome& out, const std::optional<Fault>& f) {
    std::vector<std::size_t> at;
    int seen = 0;
    for (std::size_t g = 0; g < out.gates.size(); ++g) {
      if (out.gates[g] != "MessageBoxW") continue;
      ++seen;
      if (f && f->api == "MessageBoxW" && f->nth == seen) continue;  // failed: nothing shown
      at.push_back(g);
    }
    return at;
  }

  static std::size_t FaultGate(const StepOutcome& out, const Fault& f) {
    int seen = 0;
    for (std::size_t g = 0; g < out.gates.size(); ++g)
      if (out.gates[g] == f.api && ++seen == f.nth) return g;
    return out.gates.size();
  }

  void Expand(const Node& node, int s) {
    std::deque<Variant> work{Variant{}};
    while (!work.empty()) {
      fresh_allowed_ = true;
      const Variant v = std::move(work.front());
      work.pop_front();
      const StepRun run{s, v.answers, v.fault, 0};
      // A run with a failure is not also cut short: one mishap per step.
      const StepOutcome out = Play(*node.state, run, !v.fault.has_value());
      fresh_allowed_ = false;  // the power cuts below must be played on the same machine
      sim::Machine& m = *machine_;
      const int boot = m.facts.clean_boot;  // the boot mode the step's programs ran in
      std::vector<StepRun> path = node.path;
      path.push_back(run);
      const bool fault_used = node.fault_used || v.fault.has_value();

      // (a) a completed program run never leaves a Safe Mode boot that nothing brings back from.
      if (!out.cut && out.program_runs > 0 && steps_[s].args != u"/safenet-noreboot" &&
          NextBoot(m) != 0 && !HookOnNextBoot(m) && !node.safe_without_hook) {
        violations_.push_back(
            {"(a) " + steps_[s].label + (v.fault ? " with " + v.fault->api + " failing" : ""),
             "(a) the next boot is Safe Mode (" + std::to_string(NextBoot(m)) +
                 ") and nothing brings the program back, after" + Sequence(path)});
      }
      // (d) the temporary administrator exists only while a configuration is in force (its boot
      // setting or its undo hook, which deletes it on the way back) or its deletion is pending:
      // a passwordless administrator must not stay behind with nothing to remove it.
      if (!out.cut && out.program_runs > 0 && TempAdminExists(m) && NextBoot(m) == 0 &&
          !UndoHookPresent(m) && !TempAdminDeletionPending(m)) {
        violations_.push_back(
            {"(d) " + steps_[s].label + (v.fault ? " with " + v.fault->api + " failing" : ""),
             "(d) the temporary administrator outlives its configuration, after" + Sequence(path)});
      }
      if (!seen_.contains(Digest(m)))
        Admit(Node{path, fault_used, false, std::make_shared<Snapshot>(Take(m))}, m);

      // The states a power cut during this step can leave: at each call site once (the first
      // run to pass a place in a boot mode has the power go there), where the state is new.
      for (std::size_t g = 0; g < out.digest_at_gate.size(); ++g) {
        if (seen_.contains(out.digest_at_gate[g])) continue;
        if (!cut_sites_.insert({boot, out.sites[g]}).second) continue;
        StepRun cut{s, v.answers, v.fault, static_cast<int>(g) + 1};
        const StepOutcome cut_out = Play(*node.state, cut, false);
        figures_.most_kills = std::max(figures_.most_kills, cut_out.kills);
        auto state = std::make_shared<Snapshot>(Take(*machine_));
        if (!cut_out.cut || state->digest != out.digest_at_gate[g]) {
          model_errors_.push_back("a power cut at call " + std::to_string(g + 1) + " (" +
                                  out.gates[g] + ") left another state than seen there (cut " +
                                  std::to_string(cut_out.cut) + ", kills " +
                                  std::to_string(cut_out.kills) + ", " + Leftovers(*machine_) +
                                  "), after" + Sequence(path));
        }
        std::vector<StepRun> cut_path = node.path;
        cut_path.push_back(cut);
        Node cut_node{std::move(cut_path), fault_used, true, std::move(state)};
        cut_node.before_first_change = BeforeFirstChange(out, g);
        cut_node.parent_safe_without_hook = node.safe_without_hook;
        cut_node.cut_in_no_hook_step = steps_[s].args == u"/safenet-noreboot";
        Admit(std::move(cut_node), *machine_);
      }

      // Every other answer to each question asked past the scripted ones (and, with a failure,
      // past the failure: before it the run is the one without it).
      const std::vector<std::size_t> box_gates = BoxGates(out, v.fault);
      const std::size_t after = v.fault ? FaultGate(out, *v.fault) : 0;
      for (std::size_t i = v.answers.size(); i < out.boxes.size(); ++i) {
        const sim::ShownMessageBox& box = out.boxes[i];
        const platform::UINT buttons = box.style & 0xF;
        if (buttons != 3 && buttons != 4) continue;
        if (v.fault && (i >= box_gates.size() || box_gates[i] < after)) continue;
        std::vector<int> alternatives = {platform::kIDYES, platform::kIDNO};
        if (buttons == 3) alternatives.push_back(platform::kIDCANCEL);
        for (int alt : alternatives) {
          if (alt == box.answer) continue;
          Variant next{{}, v.fault};
          for (std::size_t j = 0; j < i; ++j) next.answers.push_back(out.boxes[j].answer);
          next.answers.push_back(alt);
          work.push_back(std::move(next));
        }
      }

      // One failure per sequence, at each call site once: the first run that makes a call at a
      // place (the chain of open procedures, the call's ordinal there) in a boot mode has it
      // fail; later runs from other states or other steps that pass the same place do not.
      // Start-up is the same for every step: its places are claimed only by a run that
      // answered its questions itself, so that the failure meets a run that does something.
      if (v.fault || node.fault_used) continue;
      bool asked_by_default = false;
      for (std::size_t i = v.answers.size(); i < out.boxes.size(); ++i) {
        const platform::UINT buttons = out.boxes[i].style & 0xF;
        asked_by_default = asked_by_default || buttons == 3 || buttons == 4;
      }
      std::map<std::string, int> uses;
      for (std::size_t g = 0; g < out.gates.size(); ++g) {
        const std::string& api = out.gates[g];
        const int nth = ++uses[api];
        if (FailureIsIgnored(api) || (out.startup[g] && asked_by_default)) continue;
        if (!tried_.insert({boot, out.sites[g]}).second) continue;
        ++figures_.faults_injected;
        work.push_back(Variant{v.answers, Fault{api, nth, PlausibleError(api)}});
      }
    }
  }

  std::string profile_;
  std::vector<Step> steps_;
  bool msa_ = false;
  int normal_switch_ = -1;
  int normal_window_ = -1;
  int restart_ = -1;
  std::unique_ptr<sim::Machine> machine_;
  std::optional<FileImage> boot_ini_;  // as the machine was set up
  int uses_ = 0;
  bool fresh_allowed_ = true;
  std::size_t max_steps_ = MaxSteps();
  std::deque<Node> frontier_;
  std::set<std::uint64_t> seen_;
  // The call sites already failed.
  std::set<std::pair<int, std::string>> tried_;      // boot mode, call site
  std::set<std::pair<int, std::string>> cut_sites_;  // the same, for power cuts
  Figures figures_;
  std::vector<Violation> violations_;
  std::vector<std::string> model_errors_;
};

void CheckProfile(const std::string& profile) {
  const auto started = std::chrono::steady_clock::now();
  ModelExplorer explorer(profile);
  explorer.Run();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const Figures& f = explorer.figures();
  std::printf(
      "[lifecycle %s, sequences of up to %zu steps] step executions: %ld, distinct states: %ld, "
      "power-cut states: %ld, "
      "of which the next boot is Safe Mode without a hook: %ld (besides %ld where Windows had "
      "taken the one-time entry and the program had not had its first step, %ld in steps "
      "that began without one, and %ld in \"/safenet-noreboot\", which leaves none), failures "
      "injected: %ld, "
      "violations: %zu, most calls stopped after a cut: %d, %.1f s\n",
      profile.c_str(), MaxSteps(), f.step_executions, f.distinct_states, f.power_cut_states,
      f.power_cut_safe_without_hook, f.power_cut_before_program_acted, f.power_cut_inherited,
      f.power_cut_no_hook_by_design, f.faults_injected, explorer.violations().size(), f.most_kills,
      seconds);
  std::fflush(stdout);
  for (const std::string& e : explorer.model_errors()) ADD_FAILURE() << "model: " << e;
  std::map<std::string, int> kinds;
  for (const Violation& v : explorer.violations()) ++kinds[v.kind];
  for (const auto& [kind, count] : kinds) std::printf("  %5d x %s\n", count, kind.c_str());
  std::fflush(stdout);
  // The shortest sequence of each kind (breadth-first: the first one found).
  std::set<std::string> shown;
  for (const Violation& v : explorer.violations()) {
    if (shown.insert(v.kind).second) ADD_FAILURE() << v.text;
  }
}

int StepIndex(const std::vector<Step>& steps, std::string_view label) {
  for (std::size_t i = 0; i < steps.size(); ++i)
    if (steps[i].label == label) return static_cast<int>(i);
  return -1;
}

// The power cut is a platform::ProcessExit thrown from the machine's call observer. It has to
// leave the program at once, through the traced steps (which turn every other exception into a
// logged failure and go on): the program makes no further call of its own, so the question
// "/normal" asks at its end never comes. Killed inside a tool it waits for, the program stops
// at its own next call.
TEST(LifecycleModel, PowerCutLeavesTheProgramThroughItsTracedSteps) {
  const std::vector<Step> steps = AllSteps(false);
  const int normal = StepIndex(steps, "/normal");
  auto m = MakeMachine("win7");
  const Snapshot start = Take(*m);
  const StepOutcome whole = PlayStep(*m, steps, StepRun{normal, {}, std::nullopt, 0}, false);
  ASSERT_EQ(whole.boxes.size(), 2u);  // the restart question and the notice after No

  auto first_call = [&](std::string_view api, std::string_view in) {
    for (std::size_t g = 0; g < whole.gates.size(); ++g)
      if (whole.gates[g] == api && whole.sites[g].find(in) != std::string::npos)
        return static_cast<int>(g) + 1;
    return 0;
  };
  // Deleting BootMode: a registry call inside RemoveMods' first step.
  const int delete_mode = first_call("RegDeleteValueW", "RemoveMods[1]");
  ASSERT_NE(delete_mode, 0);
  Restore(*m, start);
  const StepOutcome cut =
      PlayStep(*m, steps, StepRun{normal, {}, std::nullopt, delete_mode}, false);
  EXPECT_TRUE(cut.cut);
  EXPECT_EQ(cut.kills, 1);
  ASSERT_FALSE(cut.after_cut.empty());
  EXPECT_EQ(cut.after_cut.front(), "RegDeleteValueW");
  for (std::size_t i = 1; i < cut.after_cut.size(); ++i)
    EXPECT_TRUE(cut.after_cut[i] == "RegCloseKey" ||
                cut.after_cut[i] == "Wow64RevertWow64FsRedirection")
        << cut.after_cut[i];
  EXPECT_TRUE(cut.boxes.empty());

  // The first bcdedit.exe run of RemoveMods: the tool dies, then the program at its next call.
  const int tool = first_call("bcdedit.exe", "RemoveMods[1]");
  ASSERT_NE(tool, 0);
  Restore(*m, start);
  const StepOutcome in_tool = PlayStep(*m, steps, StepRun{normal, {}, std::nullopt, tool}, false);
  EXPECT_EQ(in_tool.kills, 2);
  EXPECT_TRUE(in_tool.boxes.empty());
}

TEST(LifecycleModel, Windows10WithMicrosoftAccount) {
  CheckProfile("win10-msa");
}
TEST(LifecycleModel, Windows7) {
  CheckProfile("win7");
}
// Windows XP boots from boot.ini: as setup leaves it (read-only, hidden and system), edited by
// hand without a final line break, missing, and held open by another program. After any return
// to normal boot.ini is back byte for byte with attributes 7 and no backup is left.
TEST(LifecycleModelBootIni, WindowsXP) {
  CheckProfile("xp-sp3");
}
TEST(LifecycleModelBootIni, WindowsXPBootIniWithoutFinalLineBreak) {
  CheckProfile("xp-sp3/no-final-break");
}
TEST(LifecycleModelBootIni, WindowsXPWithoutBootIni) {
  CheckProfile("xp-sp3/no-boot.ini");
}
TEST(LifecycleModelBootIni, WindowsXPBootIniLocked) {
  CheckProfile("xp-sp3/locked");
}

}  // namespace
}  // namespace kes::lifecycle_model
