/* Two component types with typed parameters and their defaults; init() says what the object
   sees of itself */
registerComponentType('spinner', {
    speed: {type: ParamType.Float, value: 1.0},
    axis: {type: ParamType.Vector3, value: [0, 1, 0]}
}, {
    init: function() {
        return this.type + ' spins at ' + this.speed + ' about ' + this.axis.join(',');
    }
});

registerComponentType('door', {
    label: {type: ParamType.String, value: 'front'},
    locked: {type: ParamType.Bool, value: false}
}, {
    init: function() {
        return this.type + ' "' + this.label + '" is ' + (this.locked ? 'locked' : 'open');
    }
});
