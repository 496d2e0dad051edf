#include "foundation/paramset.h"

#include "foundation/errors.h"

TParamSet GlobalParams;

TParamSet::TParamSet()
{
    Add("x");
    Add("y");
    Add("z");
}

TParamSetNode* TParamSet::Find(int index)
{
    if (index < 1 || index > Count()) return nullptr;
    return &nodes_[static_cast<std::size_t>(index - 1)];
}

const TParamSetNode* TParamSet::Find(int index) const
{
    if (index < 1 || index > Count()) return nullptr;
    return &nodes_[static_cast<std::size_t>(index - 1)];
}

TParamSetNode& TParamSet::NewNode()
{
    TParamSetNode node;
    node.index = Count() + 1;
    nodes_.push_back(node);
    return nodes_.back();
}

int TParamSet::Add(const std::string& name)
{
    TParamSetNode& node = NewNode();
    node.name = name;
    return node.index;
}

const TParamSetNode& TParamSet::Checked(int index, const char* where) const
{
    const TParamSetNode* node = Find(index);
    if (!node) ThrowErrorCode(-4, where);
    return *node;
}

void TParamSet::SetValue(int index, double value)
{
    Checked(index, "TParamSet::SetValue");
    TParamSetNode& node = *Find(index);
    node.value = value;
    node.isSet = true;
}

void TParamSet::ClearValue(int index)
{
    Checked(index, "TParamSet::ClearValue");
    Find(index)->isSet = false;
}

double TParamSet::Value(int index) const
{
    const TParamSetNode& node = Checked(index, "TParamSet::Value");
    if (!node.isSet)
        ThrowError("TParamSet::Value>>useVal: value of parameter or variable is not set");
    return node.value;
}

bool TParamSet::UseVal(int index) const
{
    return Checked(index, "TParamSet::UseVal").isSet;
}

std::string TParamSet::Name(int index) const
{
    const TParamSetNode* node = Find(index);
    if (!node) ThrowError("TParamSet::Name: Out of range");
    return node->name;
}
