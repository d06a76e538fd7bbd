#pragma once

#include <memory>

// The work that the default settings make per engine sample and that no bit-exact engine
// avoids: the maths with the engine's arguments (the hum's 2 sinf and 1.54 tanhf and the echo
// low-pass's tanf and five divisions, both computed eight samples at a time like the engine's)
// and the dependency chains of the motor, the tape
// steps (about 3.39 per sample at the default speed) and the echo's conditioning, with
// nothing else around them.
class FloorModel
{
public:
    virtual ~FloorModel() = default;
    virtual void Process (float& left, float& right) noexcept = 0;
};

// The floor's components: the maths alone (with the motor, which the maths follow), the tape steps
// alone (with the motor and the planning of the sub-steps), or everything.
enum FloorComponent
{
    FloorMaths = 1,
    FloorSteps = 2,
    FloorConditioning = 4,
    FloorAll = FloorMaths | FloorSteps | FloorConditioning
};

std::unique_ptr<FloorModel> MakeFloorModel (float sampleRate, int components);
