"""Shared lists in their cell arena, and the join helpers of every text form, through the core's probe module."""

import pytest
from hypothesis import given, settings, strategies as st

from tandrel import PanicException
from tandrel import _probe as probe

NIL = probe.ALIAS_NIL
NOT_LIVE = r"^assertion failed: arena\.is_live\(list\)$"


@pytest.fixture
def arena():
    return probe.AliasArenaU32()


def test_nil_is_empty(arena):
    assert NIL == 2**32 - 1
    assert arena.items(NIL) == []
    assert arena.in_order(NIL, []) == []
    assert arena.join(NIL, ", ") == ""
    assert not arena.is_live(NIL)


def test_elements_come_newest_first(arena):
    a = arena.cons(NIL, 10)
    b = arena.cons(a, 20)
    assert arena.items(b) == [20, 10]
    assert arena.in_order(b, [1]) == [1, 10, 20]
    assert (arena.head(b), arena.tail(b), arena.tail(a)) == (20, a, NIL)
    assert arena.join(b, " ") == "20 10"


def test_lists_share_their_tails(arena):
    first = arena.cons(arena.cons(NIL, 1), 2)
    second = arena.cons(first, 3)
    third = arena.cons(first, 4)
    assert arena.items(first) == [2, 1]
    assert arena.items(second) == [3, 2, 1]
    assert arena.items(third) == [4, 2, 1]
    assert arena.live_cells() == 4  # one new cell per list, nothing copied


def test_delete_frees_only_the_first_cell(arena):
    first = arena.cons(arena.cons(NIL, 1), 2)
    second = arena.cons(first, 3)
    arena.delete(second)
    assert not arena.is_live(second)
    assert arena.live_cells() == 2
    assert arena.items(first) == [2, 1]
    arena.delete(NIL)
    assert arena.live_cells() == 2


@pytest.mark.parametrize(
    "misuse",
    [
        lambda a, freed: a.delete(freed),
        lambda a, freed: a.head(freed),
        lambda a, freed: a.delete(freed + 100),  # never made
        lambda a, freed: a.head(NIL),
    ],
)
def test_dead_cells_are_refused(arena, misuse):
    keep = arena.cons(NIL, 1)
    freed = arena.cons(keep, 2)
    arena.delete(freed)
    with pytest.raises(PanicException, match=NOT_LIVE):
        misuse(arena, freed)
    assert arena.items(keep) == [1]


def test_cons_onto_a_freed_list_is_refused(arena):
    freed = arena.cons(NIL, 1)
    arena.delete(freed)
    with pytest.raises(PanicException, match=r"^assertion failed: tail\.is_nil\(\) \|\| arena\.is_live\(tail\)$"):
        arena.cons(freed, 2)


def test_freed_cells_are_reused(arena):
    base = arena.cons(NIL, 0)
    cells = [arena.cons(base, v) for v in (1, 2, 3)]
    for c in cells:
        arena.delete(c)
    assert arena.live_cells() == 1
    reused = [arena.cons(base, v) for v in (4, 5, 6)]
    assert sorted(reused) == sorted(cells)
    assert arena.made_cells() == 4
    assert [arena.items(c) for c in reused] == [[4, 0], [5, 0], [6, 0]]
    fresh = arena.cons(base, 7)
    assert fresh not in cells + [base] and arena.made_cells() == 5


def test_long_lists_span_many_pages(arena):
    n = 150_000  # more than two pages of cells
    lst = NIL
    for v in range(n):
        lst = arena.cons(lst, v)
    assert arena.in_order(lst, []) == list(range(n))
    assert arena.items(lst)[:3] == [n - 1, n - 2, n - 3]
    # free every other cell of a fan of one-cell extensions across the page boundaries, then refill
    fan = [arena.cons(lst, v) for v in range(70_000)]
    for c in fan[::2]:
        arena.delete(c)
    made = arena.made_cells()
    refill = [arena.cons(lst, 0xFFFFFFFF) for _ in fan[::2]]
    assert arena.made_cells() == made and sorted(refill) == sorted(fan[::2])
    assert arena.items(fan[1])[:2] == [1, n - 1]


def test_copy_is_deep(arena):
    a = arena.cons(arena.cons(NIL, 1), 2)
    other = arena.copy()
    other.delete(a)
    assert arena.items(a) == [2, 1]
    assert not other.is_live(a) and other.items(arena.tail(a)) == [1]


@settings(max_examples=200)
@given(st.data())
def test_matches_a_model_of_shared_lists(data):
    """Random cons and delete steps against Python tuples; only lists that no other list extends are deleted."""
    arena = probe.AliasArenaU32()
    model = {NIL: ()}  # live list -> its elements, newest first
    parent = {}
    extended_by = {NIL: 0}
    peak = 0
    for _ in range(data.draw(st.integers(0, 60))):
        deletable = [l for l in model if l != NIL and extended_by[l] == 0]
        if deletable and data.draw(st.booleans()):
            victim = data.draw(st.sampled_from(deletable))
            arena.delete(victim)
            extended_by[parent.pop(victim)] -= 1
            del model[victim], extended_by[victim]
        else:
            tail = data.draw(st.sampled_from(sorted(model)))
            value = data.draw(st.integers(0, 2**32 - 1))
            new = arena.cons(tail, value)
            assert new not in model
            model[new], parent[new], extended_by[new] = (value,) + model[tail], tail, 0
            extended_by[tail] += 1
        peak = max(peak, len(model) - 1)
        assert arena.live_cells() == len(model) - 1
        # freed cells are taken before new ones, so the arena never holds more cells than were live at once
        assert arena.made_cells() == peak
    for l, items in model.items():
        assert tuple(arena.items(l)) == items
        assert tuple(arena.in_order(l, [])) == items[::-1]


# ---- join helpers ----------------------------------------------------------------------------------------------


@pytest.mark.parametrize(
    "items, sep, text",
    [
        ([], ", ", ""),
        (["a"], ", ", "a"),
        (["a", "b", "c"], ", ", "a, b, c"),
        (["", ""], "|", "|"),
        (["x", "y"], "", "xy"),
    ],
)
def test_fjoin(items, sep, text):
    assert probe.fjoin(items, sep) == text


def test_fjoin_shows_integers_in_decimal():
    assert probe.fjoin_ints([0, 1, -5, 2**40], ", ") == "0, 1, -5, 1099511627776"


@pytest.mark.parametrize(
    "items, text", [([], "<>"), (["a"], "<(a)>"), (["a", "b"], "<(a, b)>"), ([""], "<()>")]
)
def test_fjoin_opt_braces(items, text):
    # an empty sequence prints nothing at all, not even the braces
    assert probe.fjoin_opt_braces(items, ", ", "(", ")") == text
