#pragma once

class ReferenceEngine;

// The plain model's per-sample call, compiled in its own unit like the engine's Process.
void processPlain (ReferenceEngine& model, float& left, float& right);
