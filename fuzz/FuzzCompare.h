#pragma once

// Equality of two values after a trip through a property-list encoder: exact
// (the XML writer refuses what it cannot carry exactly), with NaN equal to
// NaN for reals and dates. Everything else by Foundation's rules.

#include <cmath>

#include "Value.h"

namespace fuzz {

inline bool sameAfterEncoding(const Value& a, const Value& b) {
    if (a.asDate() && b.asDate())
        return a.asDate()->secondsSinceReferenceDate == b.asDate()->secondsSinceReferenceDate ||
               (std::isnan(a.asDate()->secondsSinceReferenceDate) && std::isnan(b.asDate()->secondsSinceReferenceDate));
    if (a.kind() == Value::Kind::real && b.kind() == Value::Kind::real && std::isnan(*a.asReal()) &&
        std::isnan(*b.asReal()))
        return true;
    if (a.isArray() && b.isArray()) {
        const Array &x = *a.asArray(), &y = *b.asArray();
        if (x.size() != y.size()) return false;
        for (std::size_t i = 0; i < x.size(); ++i)
            if (!sameAfterEncoding(x[i], y[i])) return false;
        return true;
    }
    if (a.isDictionary() && b.isDictionary()) {
        const Dictionary &x = *a.asDictionary(), &y = *b.asDictionary();
        if (x.size() != y.size()) return false;
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
            if (i->first != j->first || !sameAfterEncoding(i->second, j->second)) return false;
        return true;
    }
    return a.isEqual(b);
}

}  // namespace fuzz
