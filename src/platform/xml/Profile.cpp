#include "platform/xml/Profile.h"

#include <cmath>
#include <algorithm>

namespace xmlpellor::xml {

void AddCalleeTimes(std::vector<TemplateProfile>& templates,
                    const std::vector<std::vector<CallerCount>>& callers) {
  const std::size_t n = templates.size();
  std::vector<std::vector<CallerCount>> callees(n);  // CallerCount::caller holds the callee here
  // Calls from other templates: a template that calls itself is shared out
  // among those that started it, as gprof leaves recursive calls out.
  std::vector<std::uint64_t> entered(n);
  for (std::size_t i = 0; i < n; ++i) entered[i] = templates[i].calls;
  for (std::size_t callee = 0; callee < n && callee < callers.size(); ++callee) {
    for (const CallerCount& edge : callers[callee]) {
      if (edge.caller >= n) continue;
      if (edge.caller == callee) {
        entered[callee] -= std::min(entered[callee], edge.count);
      } else {
        callees[edge.caller].push_back({callee, edge.count});
      }
    }
  }
  enum class State { kNew, kOnPath, kDone };
  std::vector<State> state(n, State::kNew);
  std::vector<double> total(n, 0.0);
  // Depth-first, with an explicit stack: a chain of templates calling each
  // other may be as deep as the stylesheet has templates. A callee still on
  // the path (mutual recursion) adds nothing: its time is being counted
  // already.
  struct Frame {
    std::size_t node;
    std::size_t next = 0;
  };
  for (std::size_t root = 0; root < n; ++root) {
    if (state[root] != State::kNew) continue;
    std::vector<Frame> path{{root}};
    state[root] = State::kOnPath;
    total[root] = static_cast<double>(templates[root].selfMicros);
    while (!path.empty()) {
      Frame& frame = path.back();
      if (frame.next < callees[frame.node].size()) {
        const CallerCount edge = callees[frame.node][frame.next++];
        if (state[edge.caller] == State::kNew) {
          state[edge.caller] = State::kOnPath;
          total[edge.caller] = static_cast<double>(templates[edge.caller].selfMicros);
          path.push_back({edge.caller});
        }
        continue;
      }
      const std::size_t node = frame.node;
      for (const CallerCount& edge : callees[node]) {
        if (state[edge.caller] != State::kDone || entered[edge.caller] == 0) continue;
        const double share = std::min(
            1.0, static_cast<double>(edge.count) / static_cast<double>(entered[edge.caller]));
        total[node] += share * total[edge.caller];
      }
      state[node] = State::kDone;
      path.pop_back();
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    templates[i].totalMicros = static_cast<std::uint64_t>(std::llround(total[i]));
  }
}

}  // namespace xmlpellor::xml
