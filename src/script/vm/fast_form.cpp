#include "script/vm/fast_form.h"

#include <climits>

namespace kelo {

namespace {

bool IsScalar(int32_t t) { return t == kTypeBool || t == kTypeInt || t == kTypeDouble; }
bool IsBinary(int32_t f) { return f >= 0 && f <= 11 && f != 8; }
// not, negation, toInt, toDouble
bool IsUnary(int32_t f) { return f == 14 || f == 49 || f == 69 || f == 70; }
bool IsStore(int32_t f) { return f >= 35 && f <= 40; }
bool IsIncDec(int32_t f) { return f >= 44 && f <= 47; }
// Calls with more parameters than this stay in the documented form (bounded work per instruction).
constexpr int32_t kMaxFusedParams = 16;

class Builder {
public:
    explicit Builder(const ScriptProgram& p) : p_(p), code_(p.code), n_(static_cast<int32_t>(p.code.size())) {}

    FastForm build() {
        markTargets();
        out_.at.assign(static_cast<size_t>(n_) + 1, -1);
        std::vector<int32_t> nextPc, altPc;  // code-list positions, resolved to fast indices below
        int32_t pc = 0;
        while (pc < n_) {
            FastInstruction in;
            int32_t nx = -1, alt = -1;
            int32_t end = fuse(pc, in, nx, alt);
            if (end < 0 && op(pc) == kOpStatement && pc + 1 < n_ && !target_[static_cast<size_t>(pc + 1)]) {
                end = fuse(pc + 1, in, nx, alt);
                if (end >= 0) {
                    in.marker = pc;
                    in.covered += 1;
                }
            }
            if (end < 0) {
                in = FastInstruction();
                in.kind = kFastPlain;
                in.position = code_[static_cast<size_t>(pc)].position;
                end = pc + 1;
            }
            in.pc = pc;
            if (in.kind == kFastPlain) in.body = pc;
            if (nx < 0) nx = end;
            out_.at[static_cast<size_t>(pc)] = static_cast<int32_t>(out_.code.size());
            out_.code.push_back(std::move(in));
            nextPc.push_back(nx);
            altPc.push_back(alt);
            pc = end;
        }
        // The end of the list: the documented loop raises its error there.
        FastInstruction past;
        past.pc = past.body = n_;
        out_.at[static_cast<size_t>(n_)] = static_cast<int32_t>(out_.code.size());
        out_.code.push_back(past);
        nextPc.push_back(n_);
        altPc.push_back(-1);
        for (size_t k = 0; k < out_.code.size(); ++k) {
            out_.code[k].next = fastIndex(nextPc[k]);
            out_.code[k].alt = fastIndex(altPc[k]);
        }
        return std::move(out_);
    }

private:
    const ScriptProgram& p_;
    const std::vector<ScriptInstruction>& code_;
    int32_t n_;
    std::vector<uint8_t> target_;
    FastForm out_;

    int32_t op(int32_t pc) const { return pc >= 0 && pc < n_ ? code_[static_cast<size_t>(pc)].op : -1; }
    const ScriptInstruction& at(int32_t pc) const { return code_[static_cast<size_t>(pc)]; }
    bool inside(int32_t pc) const { return pc >= 0 && pc < n_; }
    int32_t fastIndex(int32_t pc) const {
        if (pc < 0 || pc > n_) return -1;
        return out_.at[static_cast<size_t>(pc)];
    }
    void mark(int32_t pc) {
        if (inside(pc)) target_[static_cast<size_t>(pc)] = 1;
    }

    // Every position control can arrive at other than from the instruction before it.
    void markTargets() {
        target_.assign(static_cast<size_t>(n_), 0);
        for (int32_t pc = 0; pc < n_; ++pc) {
            const ScriptInstruction& in = at(pc);
            switch (in.op) {
                case kOpJump:
                case kOpFramePush:
                    mark(in.target);
                    break;
                case kOpJumpIfTrue:
                    mark(in.target);
                    // A fused branch continues after the drop at its target.
                    if (op(in.target) == kOpDrop) mark(in.target + 1);
                    break;
                case kOpCall:
                case kOpCallByName:
                    mark(pc + 2);  // where the return lands
                    break;
                default:
                    break;
            }
        }
        for (const ScriptFunction& f : p_.functions) mark(f.entry);
        for (int32_t g : p_.globalInits) mark(g);
        mark(p_.entry);
    }

    // The instructions s..e-1 can be one: none but s is a target and all share s's line.
    bool straight(int32_t s, int32_t e) const {
        if (!inside(s) || e > n_) return false;
        for (int32_t k = s + 1; k < e; ++k)
            if (target_[static_cast<size_t>(k)] || at(k).position != at(s).position) return false;
        return true;
    }

    // Tries every fused kind at s; the end of the covered range, or -1.
    int32_t fuse(int32_t s, FastInstruction& in, int32_t& nx, int32_t& alt) {
        in = FastInstruction();
        in.body = s;
        in.position = at(s).position;
        int32_t end = expression(s, in, nx, alt);
        if (end < 0 && op(s) == kOpPush) {
            in.kind = kFastPush;
            in.count = at(s).aMode;
            in.count2 = at(s).aOffset;
            end = s + 1;
        }
        if (end < 0) end = pushFilled(s, in);
        if (end < 0) end = call(s, in);
        if (end < 0) end = afterCall(s, in);
        if (end < 0) end = ret(s, in);
        if (end < 0) return -1;
        in.covered = end - s;
        // A jump right after the range is taken as part of it.
        if (nx < 0 && in.kind != kFastCall && in.kind != kFastReturn && op(end) == kOpJump && !target_[static_cast<size_t>(end)] &&
            inside(at(end).target)) {
            nx = at(end).target;
            in.covered += 1;
            ++end;
        }
        return end;
    }

    int32_t expression(int32_t s, FastInstruction& in, int32_t& nx, int32_t& alt) {
        std::vector<FastNode> nodes;
        int32_t depth = 0, ops = 0, maxDepth = 0, consumed = 0, highestLoad = INT32_MIN;
        bool bottomAlone = true;  // the first value is still a lone operand under the others
        int32_t pushEnd = -1, pushNodes = 0, pushMax = 0, pushConsumed = 0, pushHighest = INT32_MIN;
        const int32_t pos = at(s).position;
        int32_t i = s;
        // Values below the start that an operator needs are taken from the stack: they go first
        // in postfix order, the deepest first.
        auto consume = [&](int32_t need) {
            while (depth < need) {
                ++consumed;
                FastNode c{};
                c.kind = kNodeLoad;
                c.mode = kModeConsumed;
                c.offset = -consumed;
                nodes.insert(nodes.begin(), c);
                ++depth;
            }
        };
        for (; i < n_ && (i == s || !target_[static_cast<size_t>(i)]) && at(i).position == pos; ++i) {
            const ScriptInstruction& c = at(i);
            FastNode node{};
            if (c.op == kOpPush) {
                if (c.aMode < kModeVarTop || c.aMode > kModeVarBase) break;
                node.kind = kNodeLoad;
                node.mode = static_cast<uint8_t>(c.aMode);
                node.offset = c.aOffset;
                if (c.aMode == kModeVarTop) {
                    // Only slots below the expression: its own values are not in slots.
                    if (depth + c.aOffset >= 0) break;
                    node.offset = depth + c.aOffset;
                    if (node.offset > highestLoad) highestLoad = node.offset;
                }
                if (depth + 1 > kFastMaxDepth) break;
                ++depth;
            } else if (c.op == kOpDeclare && c.count == kDeclareConstant && IsScalar(c.value.dataType)) {
                if (depth + 1 > kFastMaxDepth) break;
                node.kind = kNodeConst;
                node.type = c.value.dataType;
                node.value = c.value.value;
                ++depth;
            } else if (c.op == kOpCallSystem && c.count2 == 2 && IsBinary(c.count) && depth + consumed < kFastMaxDepth) {
                consume(2);
                node.kind = kNodeBinary;
                node.op = static_cast<int16_t>(c.count);
                --depth;
                ++ops;
            } else if (c.op == kOpIndex && depth + consumed < kFastMaxDepth) {
                // Only as an operand: the element's own cell is what an indexing leaves on the
                // stack, so an expression never ends in one (see pushEnd below).
                consume(2);
                node.kind = kNodeBinary;
                node.op = kNodeOpIndex;
                --depth;
                ++ops;
            } else if (c.op == kOpCallSystem && c.count2 == 1 && IsUnary(c.count) && depth + consumed < kFastMaxDepth) {
                consume(1);
                node.kind = kNodeUnary;
                node.op = static_cast<int16_t>(c.count);
                ++ops;
            } else {
                break;
            }
            nodes.push_back(node);
            if (depth > maxDepth) maxDepth = depth;
            if (nodes.size() > 1 && depth < 2) bottomAlone = false;
            if (depth == 1 && ops > 0 && node.op != kNodeOpIndex) {
                pushEnd = i + 1;
                pushNodes = static_cast<int32_t>(nodes.size());
                pushMax = maxDepth;
                pushConsumed = consumed;
                pushHighest = highestLoad;
            }
        }
        // Only a pushed result may use values taken from the stack, and no operand may name a
        // slot that is taken.
        if (consumed > 0) {
            if (pushEnd > 0 && pushConsumed == consumed && pushHighest < -consumed) {
                in.kind = kFastExprPush;
                in.count = pushMax;
                in.consumed = consumed;
                nodes.resize(static_cast<size_t>(pushNodes));
                return finishNodes(in, nodes, pushEnd);
            }
            if (pushEnd > 0 && pushConsumed == 0) {
                nodes.erase(nodes.begin(), nodes.begin() + consumed);
                nodes.resize(static_cast<size_t>(pushNodes));
                in.kind = kFastExprPush;
                in.count = pushMax;
                return finishNodes(in, nodes, pushEnd);
            }
            return -1;
        }
        const bool open = i < n_ && !target_[static_cast<size_t>(i)] && i > s;
        const int32_t f = open ? at(i).count : -1;
        // An assignment or increment of a lone variable, its result dropped.
        if (open && at(i).op == kOpCallSystem && op(i + 1) == kOpDrop && straight(s, i + 2) && bottomAlone &&
            nodes[0].kind == kNodeLoad &&
            ((IsStore(f) && at(i).count2 == 2 && depth == 2) || (IsIncDec(f) && at(i).count2 == 1 && depth == 1))) {
            in.kind = kFastExprStmt;
            in.root = f;
            in.count = maxDepth;
            return finishNodes(in, nodes, i + 2);
        }
        // A condition: true continues after the drop at the target, false where the jump goes.
        if (open && depth == 1 && at(i).op == kOpJumpIfTrue && at(i).aMode == kModeVarTop && at(i).aOffset == -1 &&
            op(at(i).target) == kOpDrop && op(i + 1) == kOpDrop && op(i + 2) == kOpJump && !target_[static_cast<size_t>(i + 1)] &&
            !target_[static_cast<size_t>(i + 2)] && inside(at(i + 2).target) && inside(at(i).target + 1)) {
            in.kind = kFastBranch;
            in.count = maxDepth;
            nx = at(i).target + 1;
            alt = at(i + 2).target;
            return finishNodes(in, nodes, i + 3);
        }
        if (pushEnd > 0) {
            nodes.resize(static_cast<size_t>(pushNodes));
            in.kind = kFastExprPush;
            in.count = pushMax;
            return finishNodes(in, nodes, pushEnd);
        }
        return -1;
    }

    int32_t finishNodes(FastInstruction& in, const std::vector<FastNode>& nodes, int32_t end) {
        merge(in, nodes);
        const FastNode* n = out_.nodes.data() + in.nodeBegin;
        const int32_t size = static_cast<int32_t>(out_.nodes.size()) - in.nodeBegin;
        // The two commonest statements of loops get instructions of their own.
        if (in.kind == kFastExprStmt && IsIncDec(in.root)) {
            in.kind = kFastIncDec;
            in.count2 = (in.root == 44 || in.root == 46) ? 1 : -1;
        } else if (in.kind == kFastBranch && size == 2 && n[0].kind == kNodeLoad &&
                   (n[1].kind == kNodeBinaryLoad || n[1].kind == kNodeBinaryConst) && n[1].op <= 5) {
            in.kind = kFastCompare;
        }
        return end;
    }

    void merge(FastInstruction& in, const std::vector<FastNode>& nodes) {
        in.nodeBegin = static_cast<int32_t>(out_.nodes.size());
        for (const FastNode& n : nodes) {
            // In postfix order a leaf right before an operator is its right operand.
            FastNode* last = out_.nodes.size() > static_cast<size_t>(in.nodeBegin) ? &out_.nodes.back() : nullptr;
            if (n.kind == kNodeBinary && last != nullptr && (last->kind == kNodeLoad || last->kind == kNodeConst) &&
                out_.nodes.size() - static_cast<size_t>(in.nodeBegin) >= 2) {
                last->kind = last->kind == kNodeLoad ? kNodeBinaryLoad : kNodeBinaryConst;
                last->op = n.op;
                continue;
            }
            out_.nodes.push_back(n);
        }
        in.nodeEnd = static_cast<int32_t>(out_.nodes.size());
    }

    // A new slot on the variable stack with a fresh scalar (or empty) cell: a call's return slot.
    int32_t pushFilled(int32_t s, FastInstruction& in) {
        if (op(s) != kOpVarTop || at(s).count != 1 || op(s + 1) != kOpFill || !straight(s, s + 2)) return -1;
        const ScriptInstruction& f = at(s + 1);
        if (f.aMode != kModeVarTop || f.aOffset != -1) return -1;
        if (!IsScalar(f.value.dataType) && f.value.dataType != kTypeVoid) return -1;
        in.kind = kFastPushFilled;
        in.valueType = f.value.dataType;
        in.value = f.value.value;
        return s + 2;
    }

    // The compiler's call of a script function: parameter slots, their fresh cells, the bindings,
    // the frame record, the parameter base, the return position and the jump to the entry.
    int32_t call(int32_t s, FastInstruction& in) {
        int32_t k = s, np = 0;
        if (op(k) == kOpArgTop) {
            np = at(k).count;
            if (np < 1 || np > kMaxFusedParams) return -1;
            ++k;
            for (int32_t j = 0; j < np; ++j, ++k) {
                const ScriptInstruction& f = at(k);
                if (op(k) != kOpFill || f.aMode != kModeArgTop || f.aOffset != -np + j || !IsScalar(f.value.dataType)) return -1;
                in.paramTypes.push_back(f.value.dataType);
            }
            for (int32_t j = 0; j < np; ++j, ++k) {
                const ScriptInstruction& b = at(k);
                if (op(k) != kOpBind || b.aMode != kModeVarTop || b.aOffset != -np + j || b.bMode != kModeArgTop ||
                    b.bOffset != -np + j || b.count == kBindInitialiser)
                    return -1;
            }
            if (op(k) != kOpVarTop || at(k).count != -np) return -1;
            ++k;
        }
        if (op(k) != kOpFramePush) return -1;
        const int32_t entry = at(k).target;
        ++k;
        int32_t base = 0;
        if (op(k) == kOpArgBase) {
            base = at(k).count;
            ++k;
        }
        if (op(k) != kOpCall || op(k + 1) != kOpJump || at(k + 1).target != entry || !inside(entry)) return -1;
        if (!straight(s, k + 2)) return -1;
        in.kind = kFastCall;
        in.count = np;
        in.count2 = base;
        in.target = entry;
        in.root = k;  // the call instruction: the return position pushed
        return k + 2;
    }

    int32_t afterCall(int32_t s, FastInstruction& in) {
        if (op(s) != kOpFramePop) return -1;
        int32_t end = s + 1;
        in.count = 0;
        if (op(end) == kOpArgBase && straight(s, end + 1)) in.count = at(end++).count;
        in.kind = kFastAfterCall;
        return end;
    }

    // Result binding (optional), dropping the frame's slots and parameters, return.
    int32_t ret(int32_t s, FastInstruction& in) {
        int32_t k = s;
        in.count = 0;   // variable slots dropped
        in.count2 = 0;  // parameters dropped
        in.root = 0;    // result slot distance, 0 when nothing is bound
        if (op(k) == kOpBind) {
            const ScriptInstruction& b = at(k);
            if (b.aMode != kModeVarTop || b.aOffset != -1 || b.bMode != kModeVarTop || b.bOffset > -2 ||
                b.count == kBindInitialiser)
                return -1;
            in.root = -b.bOffset;
            ++k;
        }
        if (op(k) == kOpVarTop && at(k).count < 0) in.count = -at(k++).count;
        if (op(k) == kOpArgTop && at(k).count < 0) in.count2 = -at(k++).count;
        // The frame's removal may carry the next line (the compiler's position after the
        // statement); only the binding can fail, so the range keeps the binding's line.
        const int32_t rest = in.root > 0 ? s + 1 : s;
        if (op(k) != kOpReturn || !inside(rest) || (rest > s && target_[static_cast<size_t>(rest)]) || !straight(rest, k + 1))
            return -1;
        in.kind = kFastReturn;
        return k + 1;
    }
};

}  // namespace

FastForm BuildFastForm(const ScriptProgram& program) { return Builder(program).build(); }

}  // namespace kelo
