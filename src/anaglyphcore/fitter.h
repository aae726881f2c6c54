#pragma once
// A small non-linear least-squares fitter: batch steepest descent on half the sum of
// squared residuals, driven by a model that returns its own analytic derivatives. The
// calibration uses it with CFuncFitSingle to turn luminance matches into filter
// transmissions and a display gamma. Double precision throughout.

// A model function of nX inputs and nP parameters.
class CFuncNDeriv {
public:
    // The model's value at inputs x with parameters p. When d is not null it receives
    // one derivative per parameter.
    virtual double evaluate(const double* x, const double* p, double* d) = 0;

protected:
    // Models live on the stack of whoever fits with them; never deleted through a base.
    ~CFuncNDeriv() = default;
};

// The grey level that looks as bright as a colour through one filter of a pair of
// glasses. Inputs (l_r, l_g, l_b, r_r, r_g, r_b): the colour seen by the left eye and
// the one seen by the right eye; a calibration row uses one and leaves the other zero.
// Parameters (p0, p1, p2, p3, gamma): the red and green transmissions of the left and
// of the right filter (blue is the rest, so white passes whole) and the display gamma.
class CFuncFitSingle final : public CFuncNDeriv {
public:
    double evaluate(const double* x, const double* p, double* d) override;

    // False when the last evaluation met a value that is not a number (which then
    // counted as 0). Every evaluation with derivatives starts it afresh.
    bool mSuccess = true;
};

// Fits the nP parameters in p (in place) to n rows of nX inputs followed by the target,
// laid out one row after the other in rows: steepest descent on half the sum of squared
// residuals, starting with the step 0.6 / n and halving it whenever a pass overshoots.
// Stops when the residuals vanish, when the parameters no longer move, or at the pass
// limit. With n = 0 the parameters stay as they are.
void fitParameters(const double* rows, double* p, int n, int nX, int nP, CFuncNDeriv& model);

// Fits CFuncFitSingle to n rows of seven doubles (l_r, l_g, l_b, r_r, r_g, r_b, grey).
// Returns whether the last derivatives of the fit were all numbers.
bool fitSingle(const double* rows, double* p, int n);
