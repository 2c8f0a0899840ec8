#pragma once

namespace tarvo {

class RetreiveAccountingApp;
class ParamCombo;

// The three parameter editors of each terminal panel.
class TerminalParameters {
  public:
    explicit TerminalParameters(RetreiveAccountingApp& w);

    void ChangeParameters(int index);
    void PulseInPerPoint_Click(int index) { ChangeParameters(index); }
    void PulseInMultiplier_Click(int index) { ChangeParameters(index); }
    void ValueIn_Click(int index) { ChangeParameters(index); }
    void cmbPulseValue_Change(int index);
    void cmbPulseMultiplier_Change(int index);
    void cmbValueIn_Change(int index);

  private:
    static void typingAid(ParamCombo& combo);
    RetreiveAccountingApp& w_;
};

}  // namespace tarvo
