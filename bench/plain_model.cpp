#include "plain_model.h"

#include "engine_reference.h"

void processPlain (ReferenceEngine& model, float& left, float& right)
{
    model.process (left, right);
}
