#pragma once
// Which progress percentages are worth drawing: the bar advances in 5-percent
// steps, so a decoder reporting every percent redraws it only twenty times.

namespace lumara {

class ProgressSteps {
  public:
    // A new run of steps: nothing drawn yet.
    void Start() { last_ = 0; }
    // True when percent should be drawn (2 or more, a multiple of 5, not the
    // step drawn last); it is then remembered as the last step.
    bool Step(int percent);
    // The last percentage drawn (0 before the first).
    int Last() const { return last_; }
    // Width of the bar for the last step over a total width (clamped to it).
    int BarWidth(int totalWidth) const;

  private:
    int last_ = 0;
};

} // namespace lumara
