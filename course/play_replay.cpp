// The replay: frames recorded while the ball moves, and the playback from two strokes back at a
// hole-out, at quarter speed.
#include "course/course_local.h"

#include "game/app.h"
#include "geometry/vecmath.h"

#include <cstring>

namespace {

void append_frame(PlayState *state, float time)
{
    const RigidBody *body = state->ball.body;
    ReplayFrame frame;
    frame.stroke = state->strokes;
    frame.time = time;
    memcpy(frame.position, body->position, sizeof frame.position);
    memcpy(frame.quaternion, body->quaternion, sizeof frame.quaternion);
    list_append_value9(&state->replay_list, frame);
}

}  // namespace

void play_replay_record(PlayState *state, float factor)
{
    state->replay_time += factor;
    state->replay_accumulator += factor;
    if (state->replay_accumulator > 5.0f) {
        append_frame(state, state->replay_time);
        state->replay_accumulator -= 5.0f;
    }
}

void play_replay_begin(PlayState *state, float factor)
{
    if (!state->replay_list.first) return;
    append_frame(state, state->replay_time + factor);
    // From the first frame of the stroke two back; else from the first frame there is.
    const int32_t stroke = state->strokes - 2 > 0 ? state->strokes - 2 : 0;
    const ListNode<ReplayFrame> *start = nullptr;
    for (const ListNode<ReplayFrame> *n = state->replay_list.first; n && !start; n = n->next)
        if (n->value.stroke == stroke) start = n;
    if (!start) start = state->replay_list.first;
    state->replay_time = start->value.time;
    state->replaying = 1;
}

void play_replay_step(PlayState *state, float factor)
{
    if (g_mouse_left_down) {
        g_mouse_left_down = 0;
        state->replaying = 0;
        return;
    }
    state->replay_time += factor * 0.25f;
    const float t = state->replay_time;
    for (const ListNode<ReplayFrame> *n = state->replay_list.first; n && n->next; n = n->next) {
        const ReplayFrame &a = n->value, &b = n->next->value;
        if (!(a.time < t && t < b.time)) continue;
        const float u = (t - a.time) / (b.time - a.time);
        RigidBody *body = state->ball.body;
        for (int k = 0; k < 3; k++) body->position[k] = a.position[k] + u * (b.position[k] - a.position[k]);
        // quat_slerp gives its second argument at 0: the ball turns from a to b.
        quat_slerp(body->quaternion, b.quaternion, a.quaternion, u);
        return;
    }
    state->replaying = 0;
}
